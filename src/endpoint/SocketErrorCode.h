#pragma once

#include <QAbstractSocket>

// The errno code that stands for a Qt socket error (EIO for any without its own).
int SocketErrorCode(QAbstractSocket::SocketError error);
