#pragma once

#include <QString>

// The program folder: the folder of the running executable, or the folder named by
// the environment variable LUMETRA_HOME when it is set and not empty. No trailing
// separator. Read anew on each call.
QString GetProgramFolder();
