#pragma once

#include "cloud/CReplyBase.h"

#include <QString>

// The login reply, and the current account once a login succeeded.
struct CAccountInfo : CReplyBase
{
    int orgId = -1;
    int newRoleId = 0;
    int accountsId = 0;
    QString userName; // not in the reply: the name that logged in
};
