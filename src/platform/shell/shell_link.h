// The link object behind CLSID_ShellLink: reads ".desktop" files; it offers no writer.
#pragma once

namespace win {

// Registers CLSID_ShellLink with the class registry (once; later calls do nothing).
void RegisterShellLinkClass();

}  // namespace win
