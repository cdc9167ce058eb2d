#pragma once

#include <QString>

// The folders of the program. Each is read anew on every call (a test can change the
// environment between calls) and has no trailing separator.
//
// With the environment variable LUMETRA_HOME set and not empty, it names the one
// folder of the installation: the program reads and writes there (tests, the demo,
// side-by-side installations). Without it, read-only data and written files part:
// an installed /usr/bin/lumetra reads /usr/share/lumetra and writes into the user's
// own data folder.

// The program folder: the folder of the running executable, or LUMETRA_HOME. The
// helper programs (lumetra-vcom) are looked for here.
QString GetProgramFolder();

// Where the installation's read-only data (custom_resource/platconf) is read:
// LUMETRA_HOME; else the executable's folder when it holds custom_resource/platconf;
// else <executable's folder>/../share/lumetra.
QString GetDataFolder();

// Where the program writes what it keeps (login cache, trace log, remembered tunnel
// addresses, the VPN working folder): LUMETRA_HOME; else the executable's folder when
// it holds custom_resource/platconf and this user may write there (a build or
// unpacked folder, laid out as it always was); else UserDataFolder().
QString GetStateFolder();

// The user's own folder of the program: $XDG_DATA_HOME/lumetra, or
// ~/.local/share/lumetra when XDG_DATA_HOME is unset, empty or not absolute.
QString UserDataFolder();
