/* A library whose own dependency cannot be found, so that it cannot be loaded. */
__declspec(dllimport) int kx_absent_function(void);
__declspec(dllexport) int kx_dependent_function(void) { return kx_absent_function(); }
