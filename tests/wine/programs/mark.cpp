// A program for the launch tests: leaves a mark, the file its argument names, and ends.
#include <windows.h>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return 2;
    HANDLE mark = CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    return mark == INVALID_HANDLE_VALUE ? 1 : (CloseHandle(mark), 0);
}
