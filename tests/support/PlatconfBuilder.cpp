#include "support/PlatconfBuilder.h"

#include "support/MosquittoBroker.h"

#include "app/CustomResourceTable.h"

#include <QDir>
#include <QFile>

_Resource_Info* PlatconfBuilder::Find(const std::string& name)
{
    for (_Resource_Info& entry : entries_) {
        if (entry.name == name)
            return &entry;
    }
    return nullptr;
}

_Resource_Info& PlatconfBuilder::Entry(const std::string& name)
{
    if (_Resource_Info* entry = Find(name))
        return *entry;
    _Resource_Info entry;
    entry.name = name;
    entries_.push_back(entry);
    return entries_.back();
}

PlatconfBuilder& PlatconfBuilder::Text(const std::string& name, const std::string& text)
{
    QByteArray data(text.data(), static_cast<qsizetype>(text.size()));
    data.append('\0');
    return Bytes(name, data);
}

PlatconfBuilder& PlatconfBuilder::Bytes(const std::string& name, const QByteArray& data)
{
    _Resource_Info& entry = Entry(name);
    entry.data.assign(data.begin(), data.end());
    entry.size = static_cast<int64_t>(entry.data.size());
    return *this;
}

PlatconfBuilder& PlatconfBuilder::Rect(const std::string& name, int32_t left, int32_t top, int32_t right,
                                       int32_t bottom)
{
    if (_Resource_Info* entry = Find(name)) {
        entry->left = left;
        entry->top = top;
        entry->right = right;
        entry->bottom = bottom;
    } else {
        problem_ = "no entry \"" + name + "\" to give a rectangle";
    }
    return *this;
}

PlatconfBuilder& PlatconfBuilder::WebService(int port)
{
    return Text("wsh", "127.0.0.1").Text("wsp", std::to_string(port));
}

PlatconfBuilder& PlatconfBuilder::Broker(const MosquittoBroker& broker)
{
    return Text("bh", broker.Host())
        .Text("bp", std::to_string(broker.Port()))
        .Text("busername", broker.User())
        .Text("bpassword", broker.Password());
}

PlatconfBuilder& PlatconfBuilder::TunnelServers(int portTransferPort, int relayPort)
{
    return Text("port_transfer_host", "127.0.0.1")
        .Text("port_transfer_port", std::to_string(portTransferPort))
        .Text("relay_port", std::to_string(relayPort));
}

QByteArray PlatconfBuilder::Build() const
{
    QByteArray bytes;
    for (const _Resource_Info& entry : entries_) {
        std::vector<uint8_t> serialized = SerializeResourceEntry(entry);
        bytes.append(reinterpret_cast<const char*>(serialized.data()),
                     static_cast<qsizetype>(serialized.size()));
    }
    return bytes;
}

QString PlatconfBuilder::WriteInto(const QString& folder)
{
    if (!QDir(folder).mkpath(QStringLiteral("custom_resource"))) {
        if (problem_.empty())
            problem_ = "cannot make " + folder.toStdString() + "/custom_resource";
        return QString();
    }
    const QString path = folder + QStringLiteral("/custom_resource/platconf");
    return WriteTo(path) ? path : QString();
}

bool PlatconfBuilder::WriteTo(const QString& path)
{
    if (!problem_.empty())
        return false;
    QByteArray bytes = Build();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        problem_ = "cannot write platconf " + path.toStdString() + ": " + file.errorString().toStdString();
        return false;
    }
    return true;
}
