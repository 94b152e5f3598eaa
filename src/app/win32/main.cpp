// velmoth.exe: starts the common controls, opens frmMain and runs its message
// loop until the window is closed.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "app/win32/frm_main.h"
#include "config/queue_locations.h"
#include "files/file_system.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  // "notepad" is looked up beside this program and in the system directories,
  // never in whatever directory the operator started it from.
  SetEnvironmentVariableW(L"NoDefaultCurrentDirectoryInExePath", L"1");
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  velmoth::NativeFileSystem files;
  const velmoth::RegistryQueueLocations locations;
  const auto log = velmoth::OpenSystemLog();
  velmoth::win32::FrmMain frmMain(instance, files, locations, log.get());
  if (frmMain.Create() == nullptr) return 1;
  frmMain.Show(showCommand);
  return frmMain.RunMessageLoop();
}
