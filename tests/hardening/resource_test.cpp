// Resource failures: see below.
