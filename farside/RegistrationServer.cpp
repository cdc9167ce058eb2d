#include "RegistrationServer.h"

#include "FarsideLog.h"
#include "TcpConnection.h"

RegistrationServer::RegistrationServer(std::string name, OnRegistration onRegistration, OnFrame onFrame)
    : name_(std::move(name)), onRegistration_(std::move(onRegistration)), onFrame_(std::move(onFrame))
{
}

void RegistrationServer::Start()
{
    server_.Start([this](const std::shared_ptr<TcpConnection>& connection) { Serve(connection); });
}

void RegistrationServer::Serve(const std::shared_ptr<TcpConnection>& connection)
{
    const std::string who = name_ + " " + connection->Peer() + ": ";
    RegistrationReader::Result first;
    std::string why;
    if (!RegistrationReader::Read(*connection, kRegistrationTimeoutMs, &first, &why))
        return FarsideLog::Line(who + "closed: " + why);
    if (first.framed)
        return onFrame_(first.json, who);
    RegistrationReader::Registration registration;
    if (!RegistrationReader::ParseRegistration(first.json, &registration, &why))
        return FarsideLog::Line(who + why);
    onRegistration_(connection, registration, first.rest, who);
}
