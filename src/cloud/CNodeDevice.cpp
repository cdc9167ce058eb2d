#include "cloud/CNodeDevice.h"

#include "cloud/VirtualComPair.h"

char CNodeDevice::ParityLetter() const
{
    if (parity == 0)
        return 'N';
    if (parity == 1)
        return 'O';
    return 'E';
}

int CNodeDevice::UserComNumber() const
{
    if (virtualComPair == nullptr)
        return -1;
    int number = -1;
    for (const _virtual_com_half* half : virtualComPair->halves) {
        if (half != nullptr && half->isA == 0)
            number = half->com;
    }
    return number;
}

QString CNodeDevice::AddressText() const
{
    if (!IsSerialInterface())
        return ip;
    const QString settings = QStringLiteral("%1,%2,%3,%4")
                                 .arg(baud)
                                 .arg(databit)
                                 .arg(QChar::fromLatin1(ParityLetter()))
                                 .arg(stopbit);
    if (HasVirtualComPair())
        return QStringLiteral("COM%1,").arg(UserComNumber()) + settings;
    return QStringLiteral("COM#,") + settings;
}
