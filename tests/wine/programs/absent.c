/* A library that the dependent library needs and that is never where the loader looks. */
__declspec(dllexport) int kx_absent_function(void) { return 1; }
