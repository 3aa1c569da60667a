// CTRApplication: the engine's application base class. The entry point (WinMain) creates the window, then
// calls CreateRenderer, CreateFrameRate (which calls Initialize), runs the message loop calling Frame
// whenever the queue is empty, and finally Shutdown and the destructor. A program derives from it and
// supplies CreateApplication.
#pragma once

#include "platform/win32/Win32.h"

class CTRFrameRate;

class CTRApplication {
public:
    // Longest title kept; a longer one is cut to its first kMaxTitle characters.
    static constexpr int kMaxTitle = 51;

    // Registers the new object as the current application (GetApplication).
    CTRApplication(const char* title, int width, int height, bool fullScreen);
    // Deletes the timer and the renderer, whichever exist.
    virtual ~CTRApplication();

    CTRApplication(const CTRApplication&) = delete;
    CTRApplication& operator=(const CTRApplication&) = delete;

    // Creates the process-wide renderer and its device for the window; false (after its error boxes) on
    // failure.
    virtual bool CreateRenderer();
    // The application's own start-up; the base has nothing to do.
    virtual bool Initialize();
    // One pass of drawing: the base clears to grey (200, 200, 200) and presents.
    virtual void Frame();
    // Teardown before the destructor: the base deletes the timer and the renderer.
    virtual void Shutdown();
    // Called for WM_SIZE before the default window procedure.
    virtual void OnSize();
    // True when the application handled the message (the window procedure then returns 1).
    virtual bool MsgProc(UINT message, WPARAM wParam, LPARAM lParam);

    // Creates the frame-rate timer, then calls Initialize; false (after its error boxes) on failure.
    bool CreateFrameRate();

    HWND GetWindow() const { return window; }
    void SetWindow(HWND newWindow) { window = newWindow; }
    const char* GetTitle() const { return title; }
    int GetWidth() const { return width; }
    int GetHeight() const { return height; }
    bool IsFullScreen() const { return fullScreen; }
    CTRFrameRate* GetFrameRate() const { return frameRate; }

protected:
    HWND window;                // the engine window; null until the entry point created it
    char title[kMaxTitle + 1];  // window title, always terminated
    int width;                  // client and back-buffer width in pixels
    int height;                 // client and back-buffer height in pixels
    bool fullScreen;            // passed to the renderer; false means windowed
    CTRFrameRate* frameRate;    // owned timer; null until CreateFrameRate

private:
    void DeleteTimerAndRenderer();
};

// The most recently constructed application, or null before the first one.
CTRApplication* GetApplication();

// Supplied by the program: allocates its application (null when it cannot).
CTRApplication* CreateApplication();

// The window procedure of the engine window class.
LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
