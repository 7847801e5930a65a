/* Prints the application manifest of a program as Windows finds it when it starts the
   program: resource 1 of type RT_MANIFEST (24). manifest.exe PROGRAM */
#include <stdio.h>
#include <windows.h>

int wmain(int argc, wchar_t **argv)
{
    if (argc != 2)
        return 2;
    HMODULE program = LoadLibraryExW(argv[1], NULL, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    HRSRC found = program ? FindResourceW(program, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)) : NULL;
    if (!found)
        return 1;
    fwrite(LockResource(LoadResource(program, found)), 1, SizeofResource(program, found), stdout);
    return 0;
}
