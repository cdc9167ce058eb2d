#pragma once

#include <QTcpSocket>

#include <string>

// A TCP connection of the PC to a far-side server, with blocking waits of at most 10 s.
class TcpLink : public QTcpSocket
{
public:
    // Connects to 127.0.0.1:`port` and sends `first` when it is given.
    bool Open(int port, const std::string& first = std::string())
    {
        connectToHost("127.0.0.1", static_cast<quint16>(port));
        return waitForConnected(10000) && (first.empty() || Send(first));
    }
    bool Send(const std::string& bytes)
    {
        return write(bytes.data(), static_cast<qint64>(bytes.size())) == qint64(bytes.size()) &&
               waitForBytesWritten(10000);
    }
    // Reads until `count` bytes came or the far end closed.
    std::string Read(size_t count)
    {
        std::string got;
        while (got.size() < count && (bytesAvailable() > 0 || waitForReadyRead(10000)))
            got += readAll().toStdString();
        return got;
    }
    // Everything up to the far end's close; `closed` tells whether it closed in time.
    std::string ReadToClose(bool* closed)
    {
        std::string got;
        while (state() == ConnectedState && waitForReadyRead(10000))
            got += readAll().toStdString();
        got += readAll().toStdString();
        *closed = state() == UnconnectedState;
        return got;
    }
    // Whether the far end closed in time (what came meanwhile is dropped).
    bool WaitForClose()
    {
        bool closed = false;
        ReadToClose(&closed);
        return closed;
    }
};
