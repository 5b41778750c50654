#pragma once
// The lister plug-in interface as the file manager calls it: plain C functions with the host's
// window handle (a QWidget* on the Qt host) and single-byte path strings.

#include <cstdint>

#if defined(_WIN32)
#define KESTRUM_WLX_CALL __stdcall
#define KESTRUM_WLX_EXPORT extern "C" __declspec(dllexport)
#else
#define KESTRUM_WLX_CALL
#define KESTRUM_WLX_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using WlxWindow = void*;

// The host's rectangle (Windows' RECT): four 32-bit integers.
struct WlxRect {
    int32_t left, top, right, bottom;
};

#define LISTPLUGIN_OK 0
#define LISTPLUGIN_ERROR 1

// ListSendCommand's commands
#define lc_copy 1
#define lc_newparams 2
#define lc_selectall 3
#define lc_setpercent 4

// ListLoad's and lc_newparams' parameters
#define lcp_wraptext 1
#define lcp_fittowindow 2
#define lcp_ansi 4
#define lcp_ascii 8
#define lcp_forceshow 16
#define lcp_fitlargeronly 32
#define lcp_center 64

// ListSearchText's flags
#define lcs_findfirst 1
#define lcs_matchcase 2
#define lcs_wholewords 4
#define lcs_backwards 8

struct ListDefaultParamStruct {
    int size;
    uint32_t PluginInterfaceVersionLow;
    uint32_t PluginInterfaceVersionHi;
    char DefaultIniName[260];
};

KESTRUM_WLX_EXPORT void KESTRUM_WLX_CALL ListGetDetectString(char* detectString, int maxlen);
KESTRUM_WLX_EXPORT void KESTRUM_WLX_CALL ListSetDefaultParams(ListDefaultParamStruct* params);
KESTRUM_WLX_EXPORT WlxWindow KESTRUM_WLX_CALL ListLoad(WlxWindow parentWin, char* fileToLoad, int showFlags);
KESTRUM_WLX_EXPORT int KESTRUM_WLX_CALL ListLoadNext(WlxWindow parentWin, WlxWindow pluginWin, char* fileToLoad,
                                                     int showFlags);
KESTRUM_WLX_EXPORT void KESTRUM_WLX_CALL ListCloseWindow(WlxWindow listWin);
KESTRUM_WLX_EXPORT int KESTRUM_WLX_CALL ListSendCommand(WlxWindow listWin, int command, int parameter);
KESTRUM_WLX_EXPORT int KESTRUM_WLX_CALL ListPrint(WlxWindow listWin, char* fileToPrint, char* defPrinter, int printFlags,
                                                  WlxRect* margins);
// The thumbnail of a file. Windows hosts (Total Commander) take a device-dependent HBITMAP and
// delete it. Linux has no such handle and Double Commander asks no Linux plug-in for one: here
// the result is a QImage* made with new, which the caller owns and deletes; null for none.
using WlxBitmap = void*;
KESTRUM_WLX_EXPORT WlxBitmap KESTRUM_WLX_CALL ListGetPreviewBitmap(char* fileToLoad, int width, int height,
                                                                  char* contentbuf, int contentbuflen);
KESTRUM_WLX_EXPORT int KESTRUM_WLX_CALL ListSearchText(WlxWindow listWin, char* searchString, int searchParameter);
