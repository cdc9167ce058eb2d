#pragma once

#include <QImage>

#include "ui/pngbutton/CGdiPlusBitmapResource.h"

#include <QWidget>

class CHyperLink;
class Installation;
struct _Resource_Info;

// The home page on the right after login and after the home button: statistics and
// task panels with their "#/#" marks, the announcement strip, and a footer with the
// QR code of the mobile application, the installation's texts and two links to the
// web platform (hidden when the installation names no address).
class CFVHomeInfo : public QWidget
{
public:
    static constexpr int IDC_IOT_LINK = 1025;
    static constexpr int IDC_OFFICE_LINK = 1026;

    // The installation (texts, images, links) outlives the view.
    CFVHomeInfo(const Installation& installation, QWidget* parent);

    // Once, after creation: the links' addresses and fonts, or hidden when empty.
    void OnInitialUpdate();

    CHyperLink* IotLink() const { return iotLink_; }
    CHyperLink* OfficeLink() const { return officeLink_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    const Installation& installation_;
    const _Resource_Info* hotline_;
    const _Resource_Info* wslabel_;
    const _Resource_Info* compname_;
    const _Resource_Info* dtver_;
    const _Resource_Info* qrCode_;
    CHyperLink* iotLink_;
    CHyperLink* officeLink_;

    // Images drawn by paintEvent, loaded once per view.
    const QImage speaker_ = CGdiPlusBitmapResource::Get(166);
    const QImage cloudLogo_ = CGdiPlusBitmapResource::Get(167);
    const QImage phone_ = CGdiPlusBitmapResource::Get(168);
};
