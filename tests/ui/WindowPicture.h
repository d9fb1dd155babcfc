#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// The client area of a window as it paints itself, top-down 0xAARRGGBB.
struct WindowPicture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;

    uint32_t At(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

WindowPicture CaptureClient(HWND window);
// The window as the screen shows it, shadow left out; empty when it cannot be read.
WindowPicture CaptureScreen(HWND window);
WindowPicture CaptureScreenArea(const RECT& area);
bool SavePng(const WindowPicture& picture, const std::wstring& path);
