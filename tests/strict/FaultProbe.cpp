// Commits on purpose the faults the strict checks look for, so that a run of
// the checks over it proves they still see them: "gdi" deletes a bitmap
// still selected into a DC, "heap" frees one block twice.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return 2;
    if (std::wcscmp(argv[1], L"gdi") == 0) {
        HDC dc = ::CreateCompatibleDC(nullptr);
        HBITMAP bitmap = ::CreateCompatibleBitmap(dc, 8, 8);
        ::SelectObject(dc, bitmap);
        ::DeleteObject(bitmap);
        ::DeleteDC(dc);
        return 0;
    }
    if (std::wcscmp(argv[1], L"heap") == 0) {
        HANDLE heap = ::GetProcessHeap();
        void* block = ::HeapAlloc(heap, 0, 32);
        ::HeapFree(heap, 0, block);
        ::HeapFree(heap, 0, block);
        return 0;
    }
    return 2;
}
