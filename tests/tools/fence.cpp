// SPDX-License-Identifier: Apache-2.0
// Includes FENCE_HEADER, a header the target it is built against must not see (fences.cmake).
#include FENCE_HEADER
