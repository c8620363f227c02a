// Owners for C-allocator memory, shared by every piece of both libraries.
#pragma once

#include <cstdlib>
#include <memory>

namespace share {

struct FreeDeleter {
    void operator()(void *p) const noexcept { std::free(p); }
};

// A heap block from malloc/calloc/strdup, released with free.
template <class T>
using CPtr = std::unique_ptr<T, FreeDeleter>;
using CString = CPtr<char>;

}  // namespace share
