#pragma once
// The window speaks Chinese: its own texts, the driver's notes and reasons
// and the readers' reasons (reasontext.h) are written in English and
// translated by the Chinese catalogue compiled into the program. The console
// installs no catalogue and keeps the English.

namespace nimbus {

// Installs the catalogue into the application once; later calls do nothing.
// False when it cannot be loaded (the texts then stay English).
bool installWindowTranslation();

} // namespace nimbus
