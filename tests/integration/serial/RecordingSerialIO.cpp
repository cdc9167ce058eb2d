#include "RecordingSerialIO.h"

RecordingSerialIO::~RecordingSerialIO()
{
    StopReader();
}

void RecordingSerialIO::OnOpen(int result)
{
    m_log.Add(SerialEventLog::Kind::Open, result);
    CSerialIO::OnOpen(result);
}

void RecordingSerialIO::OnClose(int result)
{
    m_log.Add(SerialEventLog::Kind::Close, result);
    CSerialIO::OnClose(result);
}

void RecordingSerialIO::OnReceive(const char* data, int length)
{
    m_log.Add(SerialEventLog::Kind::Receive, length, data, length);
    CSerialIO::OnReceive(data, length);
}

void RecordingSerialIO::OnSend(int count)
{
    m_log.Add(SerialEventLog::Kind::Send, count);
    CSerialIO::OnSend(count);
}
