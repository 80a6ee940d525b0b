// Lets the scene graph find its plug-ins beside libfresco on Windows.
#pragma once

namespace fresco {

// On Windows the scene graph looks for its "osgPlugins-<version>" folder
// beside the program's .exe and in the folders on PATH. A CAD host's program
// lives elsewhere than the plug-in that ships this library, so the folder
// holding this library is added to that search (once). Elsewhere it does
// nothing: the plug-ins are installed with the library.
void addLibraryFolderToPluginSearch();

} // namespace fresco
