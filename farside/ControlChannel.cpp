#include "ControlChannel.h"

#include "TcpConnection.h"

void ControlChannel::Start()
{
    server_.Start([this](const std::shared_ptr<TcpConnection>& connection) { Serve(connection); });
}

void ControlChannel::Serve(const std::shared_ptr<TcpConnection>& connection)
{
    std::string buffer;
    for (;;) {
        const size_t end = buffer.find('\n');
        if (end == std::string::npos) {
            if (buffer.size() > kMaxLine) {
                connection->Send("error: line too long\n");
                return;
            }
            const std::string more = connection->Receive(4096);
            if (more.empty())
                return;
            buffer += more;
            continue;
        }
        std::string line = buffer.substr(0, end);
        buffer.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!connection->Send(execute_(line) + "\n"))
            return;
    }
}
