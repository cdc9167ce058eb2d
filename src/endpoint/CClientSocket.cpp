#include "endpoint/CClientSocket.h"
