# SPDX-License-Identifier: Apache-2.0
# Imports the collection as ansible_collections.fileserver.shareadmin from the tree it sits in,
# installed or not.
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[5]))
