/* A library that only carries a version resource (or none). */
int kx_version_test;
