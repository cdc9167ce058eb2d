#pragma once

#include <QString>

// The program folder: the folder of the running executable, or the folder named by
// the environment variable LUMETRA_HOME when it is set and not empty. No trailing
// separator. Read anew on each call.
QString GetProgramFolder();

// The files of the installation inside the program folder.
QString CustomResourcePath(); // <folder>/custom_resource/platconf
QString LoginCachePath();     // <folder>/licache
QString TraceLogPath();       // <folder>/logtrace
