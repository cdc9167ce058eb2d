#pragma once

#include "app/ResourceInfo.h"

#include <QByteArray>
#include <QString>
#include <string>
#include <vector>

class MosquittoBroker;

// Builds a custom resource file (platconf) entry by entry, in the order given.
//
//   PlatconfBuilder().WebService(18080).Text("hotline", "110").WriteTo(path);
class PlatconfBuilder
{
public:
    // A text entry: the UTF-8 text followed by its terminating zero byte. Setting a
    // name that is already there replaces that entry in place.
    PlatconfBuilder& Text(const std::string& name, const std::string& text);
    // An entry holding exactly `data` (an image, or a text without terminator).
    PlatconfBuilder& Bytes(const std::string& name, const QByteArray& data);
    // The web service at 127.0.0.1:`port` ("wsh", "wsp").
    PlatconfBuilder& WebService(int port);
    // The broker's address and the account the client signs in with ("bh", "bp",
    // "busername", "bpassword").
    PlatconfBuilder& Broker(const MosquittoBroker& broker);
    // The port-transfer server at 127.0.0.1:`portTransferPort` and the relay server's
    // port ("port_transfer_host", "port_transfer_port", "relay_port"; the relay's host
    // is then the port-transfer server's).
    PlatconfBuilder& TunnelServers(int portTransferPort, int relayPort);
    // The rectangle of the entry `name` (which must have been added; WriteTo fails
    // otherwise).
    PlatconfBuilder& Rect(const std::string& name, int32_t left, int32_t top, int32_t right, int32_t bottom);

    // The file's bytes.
    QByteArray Build() const;
    // Writes the file; false with Problem() saying why when it cannot be written or
    // a step before went wrong.
    bool WriteTo(const QString& path);
    const std::string& Problem() const { return problem_; }
    // Writes the file as the custom resource file of the installation in `folder`
    // (<folder>/custom_resource/platconf, the sub-folder made when missing) and
    // returns its path; empty, with Problem() saying why, when it cannot be written.
    QString WriteInto(const QString& folder);

private:
    _Resource_Info* Find(const std::string& name);
    _Resource_Info& Entry(const std::string& name);

    std::vector<_Resource_Info> entries_;
    std::string problem_;
};
