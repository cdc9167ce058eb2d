#pragma once

#include "SerialEventLog.h"

#include "endpoint/CSerialIO.h"

// A serial endpoint that records its notifications in a log and then lets the base
// class print them as it always does.
class RecordingSerialIO : public CSerialIO
{
public:
    explicit RecordingSerialIO(SerialEventLog& log) : m_log(log) {}
    ~RecordingSerialIO() override;

protected:
    void OnOpen(int result) override;
    void OnClose(int result) override;
    void OnReceive(const char* data, int length) override;
    void OnSend(int count) override;

private:
    SerialEventLog& m_log;
};
