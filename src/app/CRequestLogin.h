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

    const QString& GetUserName() const { return userName_; }
    void SetUserName(const QString& v) { userName_ = v; }
    const QString& GetPassword() const { return password_; }
    void SetPassword(const QString& v) { password_ = v; }
    const QString& GetPcId() const { return pcId_; }
    void SetPcId(const QString& v) { pcId_ = v; }
    int32_t GetRemember() const { return remember_; }
    void SetRemember(int32_t v) { remember_ = v; }

    // The archive bytes: class header, user name, password, remember flag, PC identifier.
    QByteArray Serialize() const;
    // Null when the bytes are not one well-formed object of this class, or more than
    // kMaxBytes.
    static std::unique_ptr<CRequestLogin> Deserialize(const QByteArray& bytes);

private:
    QString userName_;
    QString password_;
    QString pcId_;
    int32_t remember_ = 0;
};
