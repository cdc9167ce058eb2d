#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>

// The login cache record: the last successful login and the PC identifier of this
// installation. Stored as one object of an archive (class schema 2).
class CRequestLogin
{
public:
    static constexpr uint16_t kSchema = 2;
    static constexpr const char* kClassName = "CRequestLogin";
    // The largest cache that is read (and written): a user name, a password and a
    // 20-digit PC identifier take well under a kilobyte.
    static constexpr size_t kMaxBytes = 64 * 1024;

    const QString& GetUserName() const { return m_userName; }
    void SetUserName(const QString& v) { m_userName = v; }
    const QString& GetPassword() const { return m_password; }
    void SetPassword(const QString& v) { m_password = v; }
    const QString& GetPcId() const { return m_pcId; }
    void SetPcId(const QString& v) { m_pcId = v; }
    int32_t GetRemember() const { return m_remember; }
    void SetRemember(int32_t v) { m_remember = v; }

    // The archive bytes: class header, user name, password, remember flag, PC identifier.
    QByteArray Serialize() const;
    // Null when the bytes are not one well-formed object of this class, or more than
    // kMaxBytes.
    static std::unique_ptr<CRequestLogin> Deserialize(const QByteArray& bytes);

private:
    QString m_userName;
    QString m_password;
    QString m_pcId;
    int32_t m_remember = 0;
};
