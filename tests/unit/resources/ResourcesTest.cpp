// The program's resources as the running program finds them: every menu,
// string, dialog template, icon, the manifest and the version resource, read
// back through the calls the windows make. This program links the same
// resource objects as KestromMaster.exe.

// <windows.h> first: the other Windows headers build on it.
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>
// clang-format on
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "resources/ResourceIds.h"

#ifndef KESTROM_EXPECTED_VERSION
#error "The build defines KESTROM_EXPECTED_VERSION, the project's version"
#endif

namespace {

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

// ---------------------------------------------------------------------------
// Menus: the commands the windows handle and gray, each where the program
// looks for it. The texts users read are checked on screen by the end-to-end
// tests.

struct MenuEntry {
    UINT id = 0;     // 0: a separator
    UINT state = 0;  // MF_GRAYED, MF_CHECKED
};
const MenuEntry kSeparator{};

struct MenuCase {
    int id;
    const char* name;
    std::vector<std::vector<MenuEntry>> columns;  // each top-level item's sub-menu
};

const std::vector<MenuCase>& MenuCases() {
    static const std::vector<MenuCase> cases = {
        {IDM_MAIN,
         "menu bar",
         {{{ID_NEW},
           {ID_OPEN},
           {ID_SAVE},
           {ID_SAVE_AS},
           kSeparator,
           {ID_RECENT_FILE, MF_GRAYED},
           kSeparator,
           {ID_EXIT}},
          {{ID_ADD_POLL},
           {ID_EDIT_POLL},
           {ID_DELETE_POLL},
           {ID_MOVE_POLL_UP},
           {ID_MOVE_POLL_DOWN},
           kSeparator,
           {ID_ADD_ADDRESSES}},
          {{ID_COMMS_PARAMETERS}},
          {{ID_RUN}},
          {{ID_TRACK_LATEST, MF_CHECKED}, {ID_LOG_TO_FILE}},
          {{ID_ABOUT}}}},
        {IDM_POLL_POPUP,
         "poll list context menu",
         {{{ID_ADD_POLL},
           {ID_EDIT_POLL},
           {ID_DELETE_POLL},
           kSeparator,
           {ID_MOVE_POLL_UP},
           {ID_MOVE_POLL_DOWN},
           kSeparator,
           {ID_ADD_POLLED_ADDRESSES},
           {ID_DO_POLL}}}},
        {IDM_ADDRESS_POPUP,
         "address map context menu",
         {{{ID_ADD_ADDRESSES}, {ID_DELETE_ADDRESSES}}}},
        {IDM_MONITOR_POPUP, "monitor context menu", {{{ID_ADD_POLLED_ADDRESSES}}}},
    };
    return cases;
}

std::wstring MenuText(HMENU menu, int position) {
    wchar_t text[256] = {};
    GetMenuStringW(menu, position, text, 256, MF_BYPOSITION);
    return text;
}

TEST(Resources, EachMenuHoldsItsCommandsInOrderWithTheirStartingStates) {
    for (const MenuCase& expected : MenuCases()) {
        SCOPED_TRACE(expected.name);
        HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(expected.id));
        ASSERT_NE(menu, nullptr) << "menu " << expected.id << " does not load";
        ASSERT_EQ(GetMenuItemCount(menu), static_cast<int>(expected.columns.size()));
        for (int c = 0; c < static_cast<int>(expected.columns.size()); ++c) {
            const std::vector<MenuEntry>& column = expected.columns[c];
            SCOPED_TRACE("top-level item " + std::to_string(c) + " " + Narrow(MenuText(menu, c)));
            EXPECT_FALSE(MenuText(menu, c).empty() && expected.id == IDM_MAIN) << "a titled column";
            const HMENU submenu = GetSubMenu(menu, c);
            ASSERT_NE(submenu, nullptr) << "top-level items open sub-menus";
            ASSERT_EQ(GetMenuItemCount(submenu), static_cast<int>(column.size()));
            for (int i = 0; i < static_cast<int>(column.size()); ++i) {
                SCOPED_TRACE("item " + std::to_string(i) + " " + Narrow(MenuText(submenu, i)));
                const UINT state = GetMenuState(submenu, i, MF_BYPOSITION);
                if (column[i].id == 0) {
                    EXPECT_TRUE(state & MF_SEPARATOR) << "a separator";
                    continue;
                }
                EXPECT_EQ(GetMenuItemID(submenu, i), column[i].id) << "a command, not a sub-menu";
                EXPECT_FALSE(MenuText(submenu, i).empty());
                EXPECT_EQ(state & (MF_GRAYED | MF_CHECKED), column[i].state);
            }
        }
        DestroyMenu(menu);
    }
}

// ---------------------------------------------------------------------------
// Strings

std::wstring LoadResourceString(UINT id) {
    const wchar_t* text = nullptr;
    // With no buffer, LoadStringW answers a pointer into the resource itself.
    int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 && text ? std::wstring(text, length) : std::wstring();
}

// The program's string ids run in two unbroken stretches (ResourceIds.h).
TEST(Resources, EveryStringIdTheProgramLoadsHasAText) {
    const std::pair<UINT, UINT> stretches[] = {{IDS_WELCOME, IDS_SAVE_CHANGES},
                                               {IDS_COL_TIME, IDS_BD_ERROR}};
    for (const auto& [first, last] : stretches) {
        for (UINT id = first; id <= last; ++id) {
            EXPECT_FALSE(LoadResourceString(id).empty()) << "string " << id;
        }
    }
}

// A string with a command's id would become that command's menu help in the
// status bar, where the program shows its own default text instead.
TEST(Resources, NoStringSitsAtACommandsIdSoNoCommandHasMenuHelp) {
    for (const MenuCase& menu : MenuCases()) {
        for (const std::vector<MenuEntry>& column : menu.columns) {
            for (const MenuEntry& entry : column) {
                if (entry.id == 0) continue;
                EXPECT_EQ(Narrow(LoadResourceString(entry.id)), "") << "string " << entry.id;
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Dialogs, created as the program creates them. Wine creates windows only on
// an X display, so these cases form a suite of their own that runs on one.

// What each kind of control is: its class and the style bits that make it
// so. Fields and buttons are tab stops; edits scroll on one line; combos are
// drop-down lists.
struct Kind {
    const wchar_t* className;
    DWORD mask;
    DWORD style;
    bool field;  // starts empty; the dialog fills it from what it edits
};
const Kind kEdit{L"Edit", WS_TABSTOP | ES_AUTOHSCROLL | ES_MULTILINE, WS_TABSTOP | ES_AUTOHSCROLL,
                 true};
const Kind kDropList{L"ComboBox", WS_TABSTOP | 0x3, WS_TABSTOP | CBS_DROPDOWNLIST, true};
const Kind kRadio{L"Button", BS_TYPEMASK, BS_AUTORADIOBUTTON, false};
const Kind kDefaultButton{L"Button", BS_TYPEMASK, BS_DEFPUSHBUTTON, false};
const Kind kButton{L"Button", BS_TYPEMASK, BS_PUSHBUTTON, false};

struct ControlCase {
    int id;
    const Kind* kind;
};

struct DialogCase {
    int id;
    std::vector<ControlCase> controls;  // in tab order; a radio group's tab stop is its first
    size_t labels;                      // static texts
    size_t groups;                      // group boxes
};

const std::vector<DialogCase>& DialogCases() {
    static const std::vector<DialogCase> cases = {
        {IDD_CONNECTION,
         {{IDC_CONN_NETWORK, &kRadio},
          {IDC_CONN_SERIAL, &kRadio},
          {IDC_CONN_HOST, &kEdit},
          {IDC_CONN_PORT, &kEdit},
          {IDC_CONN_COM_PORT, &kDropList},
          {IDC_CONN_BAUD, &kDropList},
          {IDC_CONN_PARITY, &kDropList},
          {IDC_CONN_STOP_BITS, &kDropList},
          {IDC_CONN_HANDSHAKING, &kDropList},
          {IDC_CONN_PROTOCOL, &kDropList},
          {IDC_CONN_POLL_RATE, &kEdit},
          {IDC_CONN_TIMEOUT, &kEdit},
          {IDC_CONN_RETRIES, &kEdit},
          {IDC_CONN_MODBUS_ADDRESS, &kEdit},
          {IDC_CONN_WEB_PORT, &kEdit},
          {IDOK, &kDefaultButton},
          {IDCANCEL, &kButton}},
         15,
         4},
        {IDD_POLL,
         {{IDC_POLL_FUNCTION, &kDropList},
          {IDC_POLL_START, &kEdit},
          {IDC_POLL_QUANTITY, &kEdit},
          {IDC_POLL_FORMAT, &kDropList},
          {IDOK, &kDefaultButton},
          {IDCANCEL, &kButton}},
         5,
         0},
        {IDD_ADD_ADDRESSES,
         {{IDC_ADDR_FIRST, &kEdit},
          {IDC_ADDR_LAST, &kEdit},
          {IDC_ADDR_STEP, &kEdit},
          {IDC_ADDR_TYPE, &kDropList},
          {IDOK, &kDefaultButton},
          {IDCANCEL, &kButton}},
         4,
         0},
    };
    return cases;
}

struct Child {
    HWND window;
    int id;
    std::wstring className;
    std::wstring text;
    DWORD style;
    RECT box;  // in the dialog's client area

    bool IsGroupBox() const {
        return className == L"Button" && (style & BS_TYPEMASK) == BS_GROUPBOX;
    }
    std::string Name() const {
        return Narrow(className) + " " + std::to_string(id) + " \"" + Narrow(text) + "\"";
    }
};

// The dialog's controls in template order (the order of its child windows).
std::vector<Child> Children(HWND dialog) {
    std::vector<Child> children;
    for (HWND w = GetWindow(dialog, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
        wchar_t className[64] = {}, text[512] = {};
        GetClassNameW(w, className, 64);
        GetWindowTextW(w, text, 512);
        Child child{
            w, GetDlgCtrlID(w), className, text, static_cast<DWORD>(GetWindowLongW(w, GWL_STYLE)),
            {}};
        // Class names compare without case ("Button", "BUTTON").
        for (const wchar_t* known : {L"Button", L"Edit", L"Static", L"ComboBox"}) {
            if (_wcsicmp(className, known) == 0) child.className = known;
        }
        GetWindowRect(w, &child.box);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&child.box), 2);
        children.push_back(child);
    }
    return children;
}

INT_PTR CALLBACK IgnoreMessages(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

// Each dialog created modelessly, as the test's own, and destroyed with it.
using OpenDialog = std::unique_ptr<HWND__, BOOL(WINAPI*)(HWND)>;

OpenDialog Open(int id) {
    return {CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), nullptr,
                               IgnoreMessages, 0),
            DestroyWindow};
}

TEST(ResourcesOnScreen, EachDialogHasItsFrameControlsLabelsAndGroups) {
    for (const DialogCase& expected : DialogCases()) {
        SCOPED_TRACE("dialog " + std::to_string(expected.id));
        const OpenDialog dialog = Open(expected.id);
        ASSERT_NE(dialog.get(), nullptr)
            << "CreateDialogParamW failed, error " << GetLastError();
        EXPECT_GT(GetWindowTextLengthW(dialog.get()), 0) << "a title";
        const DWORD frame = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
        EXPECT_EQ(GetWindowLongW(dialog.get(), GWL_STYLE) & frame, frame);
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dialog.get(), WM_GETFONT, 0, 0)),
                   sizeof(font), &font);
        EXPECT_STREQ(font.lfFaceName, L"MS Shell Dlg 2");
        EXPECT_EQ(LOWORD(SendMessageW(dialog.get(), DM_GETDEFID, 0, 0)), IDOK)
            << "Enter presses OK";

        const std::vector<Child> children = Children(dialog.get());
        for (const ControlCase& control : expected.controls) {
            SCOPED_TRACE("control " + std::to_string(control.id));
            auto found = std::find_if(children.begin(), children.end(),
                                      [&](const Child& c) { return c.id == control.id; });
            ASSERT_NE(found, children.end()) << "missing";
            const Kind& kind = *control.kind;
            EXPECT_EQ(found->className, kind.className);
            EXPECT_EQ(found->text.empty(), kind.field) << Narrow(found->text);
            EXPECT_EQ(found->style & kind.mask, kind.style);
            // The dialog manager may turn an edit's border into a sunken edge.
            const DWORD edges = GetWindowLongW(found->window, GWL_EXSTYLE) & WS_EX_CLIENTEDGE;
            EXPECT_TRUE(control.kind != &kEdit || (found->style & WS_BORDER) || edges);
        }
        size_t labels = 0, groups = 0;
        for (const Child& child : children) {
            labels += child.className == L"Static" && !child.text.empty();
            groups += child.IsGroupBox() && !child.text.empty();
        }
        EXPECT_EQ(labels, expected.labels);
        EXPECT_EQ(groups, expected.groups);
        EXPECT_EQ(children.size(), expected.controls.size() + labels + groups)
            << "no other controls";
    }
}

bool Overlap(const RECT& a, const RECT& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

bool Inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
           inner.bottom <= outer.bottom;
}

TEST(ResourcesOnScreen, DialogControlsKeepTheMarginsAndNeitherOverlapNorCrossAGroupFrame) {
    for (const DialogCase& expected : DialogCases()) {
        SCOPED_TRACE("dialog " + std::to_string(expected.id));
        const OpenDialog dialog = Open(expected.id);
        ASSERT_NE(dialog.get(), nullptr);
        RECT margin{7, 7, 7, 7};  // dialog units, in pixels below
        MapDialogRect(dialog.get(), &margin);
        RECT area;
        GetClientRect(dialog.get(), &area);
        // Dialog units round to whole pixels edge by edge: one pixel of slack.
        InflateRect(&area, 1 - margin.left, 1 - margin.top);
        const std::vector<Child> children = Children(dialog.get());
        for (const Child& a : children) {
            EXPECT_TRUE(Inside(a.box, area)) << a.Name() << " crosses the dialog's margin";
            for (const Child& b : children) {
                if (&a >= &b) continue;
                if (!a.IsGroupBox() && !b.IsGroupBox()) {
                    EXPECT_FALSE(Overlap(a.box, b.box)) << a.Name() << " overlaps " << b.Name();
                    continue;
                }
                const Child& group = a.IsGroupBox() ? a : b;
                const Child& other = a.IsGroupBox() ? b : a;
                if (!Overlap(group.box, other.box)) continue;
                RECT inside = group.box;
                // The same pixel of rounding slack as for the dialog's edge.
                InflateRect(&inside, 1 - margin.left, 1 - margin.top);
                EXPECT_TRUE(!other.IsGroupBox() && Inside(other.box, inside))
                    << other.Name() << " crosses the frame of " << group.Name();
            }
        }
    }
}

TEST(ResourcesOnScreen, TabVisitsTheFieldsInOrderAndTheArrowsSwitchBetweenTheLinks) {
    for (const DialogCase& expected : DialogCases()) {
        SCOPED_TRACE("dialog " + std::to_string(expected.id));
        const OpenDialog dialog = Open(expected.id);
        ASSERT_NE(dialog.get(), nullptr);
        CheckRadioButton(dialog.get(), IDC_CONN_NETWORK, IDC_CONN_SERIAL, IDC_CONN_NETWORK);
        std::vector<int> order, visited;
        for (const ControlCase& control : expected.controls) {
            if (control.id != IDC_CONN_SERIAL) order.push_back(control.id);
        }
        HWND first = GetNextDlgTabItem(dialog.get(), nullptr, FALSE);
        HWND at = first;
        do {
            visited.push_back(GetDlgCtrlID(at));
            at = GetNextDlgTabItem(dialog.get(), at, FALSE);
        } while (at && at != first && visited.size() <= order.size());
        EXPECT_EQ(visited, order);
    }
    const OpenDialog connection = Open(IDD_CONNECTION);
    ASSERT_NE(connection.get(), nullptr);
    HWND network = GetDlgItem(connection.get(), IDC_CONN_NETWORK);
    HWND next = GetNextDlgGroupItem(connection.get(), network, FALSE);
    EXPECT_EQ(GetDlgCtrlID(next), IDC_CONN_SERIAL) << "the radio buttons form one group";
    EXPECT_EQ(GetNextDlgGroupItem(connection.get(), next, FALSE), network) << "of two";
}

// ---------------------------------------------------------------------------
// Icons

struct IconCase {
    int id;
    const char* name;
};

const IconCase kIcons[] = {
    {IDI_PROGRAM, "program"}, {IDI_RUN, "run"}, {IDI_CONNECTION, "connection"}};
const int kIconSizes[] = {16, 32, 48};

// The image a size picks from the icon's group, as LoadImageW chooses it.
const BITMAPINFOHEADER* IconImage(int icon, int size) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(icon), RT_GROUP_ICON);
    if (!group) return nullptr;
    auto* directory = static_cast<BYTE*>(LockResource(LoadResource(module, group)));
    const int image = LookupIconIdFromDirectoryEx(directory, TRUE, size, size, LR_DEFAULTCOLOR);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(image), RT_ICON);
    if (!found) return nullptr;
    return static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(module, found)));
}

TEST(Resources, EachIconHasItsOwn32BitImageWithAlphaAtEachSize) {
    for (const IconCase& icon : kIcons) {
        for (int size : kIconSizes) {
            SCOPED_TRACE(std::string(icon.name) + " at " + std::to_string(size));
            const BITMAPINFOHEADER* image = IconImage(icon.id, size);
            ASSERT_NE(image, nullptr);
            // An image of exactly this size, not one Windows would have to scale.
            EXPECT_EQ(image->biWidth, size);
            EXPECT_EQ(image->biHeight, 2 * size) << "colour rows and mask rows";
            ASSERT_EQ(image->biBitCount, 32);
            const auto* pixels = reinterpret_cast<const BYTE*>(image) + image->biSize;
            int clear = 0, solid = 0;
            for (int i = 0; i < size * size; ++i) {
                const BYTE alpha = pixels[4 * i + 3];
                clear += alpha == 0;
                solid += alpha == 255;
            }
            EXPECT_GT(clear, 0) << "a transparent background";
            EXPECT_GT(solid, size * size / 4) << "an opaque picture";

            HICON loaded = static_cast<HICON>(LoadImageW(
                GetModuleHandleW(nullptr), MAKEINTRESOURCEW(icon.id), IMAGE_ICON, size, size, 0));
            EXPECT_NE(loaded, nullptr);
            if (loaded) DestroyIcon(loaded);
        }
    }
}

// ---------------------------------------------------------------------------
// Manifest and version

std::string ManifestText() {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST);
    if (!found) return {};
    const char* text = static_cast<const char*>(LockResource(LoadResource(module, found)));
    return std::string(text, SizeofResource(module, found));
}

TEST(Resources, TheManifestAsksForCommonControls6AndSystemDpiAwareness) {
    const std::string manifest = ManifestText();
    ASSERT_FALSE(manifest.empty()) << "no manifest resource 1";
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
              std::string::npos);
    EXPECT_NE(
        manifest.find("<assemblyIdentity type=\"win32\" name=\"Kestrom.KestromMaster\" version=\"" +
                      Narrow(KESTROM_EXPECTED_VERSION) + "\""),
        std::string::npos);
    EXPECT_NE(
        manifest.find("<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">"
                      "true</dpiAware>"),
        std::string::npos);
    // Windows read the manifest when it started this program: the common
    // controls it loads are those of the version 6 assembly.
    INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_WIN95_CLASSES};
    ASSERT_TRUE(InitCommonControlsEx(&classes));
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(GetModuleHandleW(L"comctl32.dll"), path, MAX_PATH);
    EXPECT_NE(StrStrIW(path, L"microsoft.windows.common-controls_6595b64144ccf1df_6.0."), nullptr)
        << Narrow(path);
}

std::vector<BYTE> OwnVersionInfo() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    std::vector<BYTE> info(size);
    if (size == 0 || !GetFileVersionInfoW(path, 0, size, info.data())) info.clear();
    return info;
}

// The web information object and the about box read these numbers back.
TEST(Resources, TheVersionResourceGivesTheProjectsVersionAndNamesTheProgram) {
    std::vector<BYTE> info = OwnVersionInfo();
    ASSERT_FALSE(info.empty()) << "no version resource";
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    auto text = [](DWORD high, DWORD low) {
        return std::to_wstring(HIWORD(high)) + L"." + std::to_wstring(LOWORD(high)) + L"." +
               std::to_wstring(HIWORD(low)) + L"." + std::to_wstring(LOWORD(low));
    };
    EXPECT_EQ(text(fixed->dwFileVersionMS, fixed->dwFileVersionLS), KESTROM_EXPECTED_VERSION);
    EXPECT_EQ(text(fixed->dwProductVersionMS, fixed->dwProductVersionLS), KESTROM_EXPECTED_VERSION);

    // The strings stand in the block of the first translation, where readers look.
    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_GE(length, 4u);
    wchar_t block[64];
    swprintf(block, 64, L"\\StringFileInfo\\%04X%04X\\", translation[0], translation[1]);
    const std::pair<const wchar_t*, std::wstring> expected[] = {
        {L"ProductName", L"Kestrom Master"},
        {L"FileVersion", KESTROM_EXPECTED_VERSION},
        {L"ProductVersion", KESTROM_EXPECTED_VERSION},
    };
    for (const auto& [name, value] : expected) {
        const std::wstring key = block + std::wstring(name);
        wchar_t* found = nullptr;
        ASSERT_TRUE(
            VerQueryValueW(info.data(), key.c_str(), reinterpret_cast<void**>(&found), &length))
            << Narrow(key);
        EXPECT_EQ(std::wstring(found), value) << Narrow(key);
    }
}

}  // namespace
