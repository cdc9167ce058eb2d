#include "ui/CFVLogin.h"

#include "ui/BrandingEntry.h"

#include "app/UiText.h"

#include "app/Installation.h"
#include "platform/MessageBox.h"
#include "platform/TextCodec.h"
#include "ui/CMemDCPNG.h"
#include "ui/CSingleCenter.h"
#include "ui/MainViewSwitcher.h"
#include "ui/pngbutton/CGdiPlusBitmapResource.h"
#include "ui/pngbutton/CGdipButton.h"

#include <QCheckBox>
#include <QLineEdit>

namespace {

const QColor kFramePen(154, 154, 154);

QString EntryText(const _Resource_Info* entry)
{
    return entry != nullptr ? platform::TextCodec::LocalToWide(entry->Text()) : QString();
}

} // namespace

CFVLogin::CFVLogin(const Installation& installation, MainViewSwitcher* mainWindow, Session& session,
                   QWidget* parent)
    : QWidget(parent), installation_(installation), mainWindow_(mainWindow), flow_(session),
      compInfo_(BrandingEntry::Find(installation, "compinfo")),
      versionText_(BrandingEntry::Find(installation, "dtverloca")), titleFont_(CMemDCPNG::YaHei(12, true)),
      footerFont_(CMemDCPNG::YaHei(16)), smallFont_(CMemDCPNG::YaHei(12))
{
    setObjectName(QStringLiteral("CFVLogin"));

    user_ = new QLineEdit(this);
    user_->setObjectName(QStringLiteral("user"));
    user_->setFrame(false);
    user_->setTextMargins(5, 8, 5, 5);
    user_->setFont(CMemDCPNG::YaHei(10.5));

    password_ = new CSingleCenter(this);
    password_->setObjectName(QStringLiteral("password"));
    password_->setEchoMode(QLineEdit::Password);

    remember_ = new QCheckBox(UiText::tr(LoginFlow::kTextRemember), this);
    remember_->setObjectName(QStringLiteral("remember"));
    remember_->setFont(CMemDCPNG::YaHei(10));

    login_ = new CGdipButton(this, IDC_LOGIN);
    login_->setObjectName(QStringLiteral("login"));
    login_->setCursor(Qt::PointingHandCursor);
    connect(login_, &CGdipButton::clicked, this, [this] { OnBnClickedLogin(); });
    connect(password_, &QLineEdit::returnPressed, this, [this] { OnBnClickedLogin(); });
}

CFVLogin::~CFVLogin() = default;

QLineEdit* CFVLogin::PasswordField() const
{
    return password_;
}

void CFVLogin::OnInitialUpdate()
{
    // Arial, cell height 18 (about 16 pixels to the em), normal weight.
    QFont arial(QStringLiteral("Arial"));
    arial.setPixelSize(16);
    arial.setWeight(QFont::Normal);
    password_->setFont(arial);

    const LoginFlow::Offer offer = LoginFlow::Offered(installation_);
    if (!offer.user.isEmpty())
        user_->setText(offer.user);
    remember_->setChecked(offer.remember);
    if (!offer.password.isEmpty())
        password_->setText(offer.password);
}

void CFVLogin::OnBnClickedLogin()
{
    const QString userName = user_->text();
    const QString password = password_->text();
    QString failure;
    if (!flow_.SignIn(userName, password, &failure)) {
        platform::ShowMessageBox(this, failure, QString::fromUtf8(platform::kDefaultMessageBoxCaption),
                                 platform::kMbOk);
        return;
    }
    LoginFlow::Record(installation_, userName, password, remember_->isChecked());
    if (mainWindow_ != nullptr)
        mainWindow_->LoginSucceeded();
}

platform::LResult CFVLogin::WindowProc(platform::MsgCode, platform::WParam, platform::LParam)
{
    return 0;
}

void CFVLogin::resizeEvent(QResizeEvent*)
{
    const int W = width();
    const int H = height();
    user_->setGeometry(QRect(QPoint(640, 190), QPoint(845 - 1, 220 - 1)));
    password_->setGeometry(QRect(QPoint(645, 235), QPoint(845 - 1, 265 - 1)));
    const int L = W * 68 / 100;
    const int T = (H - 295) / 2;
    remember_->setGeometry(L, T + 162, 220, 30);
    login_->LoadStdImage(134);
    login_->LoadAltImage(134);
    login_->setGeometry(L, T + 199, 220, 30);
}

void CFVLogin::paintEvent(QPaintEvent*)
{
    const QImage& illustration = illustration_;
    const QImage& userFrame = userFrame_;
    const QImage& passwordFrame = passwordFrame_;

    const int W = width();
    const int H = height();
    CMemDCPNG dc(this);
    QPainter& p = dc.Painter();
    p.setPen(QPen(kFramePen, 1.0));

    dc.Text(QRectF(W * 68 / 100, (H - 80 - 215) / 2, W * 32 / 100, 30), UiText::tr("用户登入"), titleFont_);
    dc.Text(QRectF(0, H - 80, W - 100, 40), EntryText(compInfo_), footerFont_);
    if (versionText_ != nullptr) {
        const _Resource_Info& r = *versionText_;
        dc.Text(QRectF(r.left, r.top, r.right - r.left, r.bottom - r.top), EntryText(versionText_),
                smallFont_);
    }
    p.drawImage(QRect((W * 68 / 100 - 572) / 2, (H - 80 - 360) / 2, 572, 360), illustration);
    p.drawImage(QRect(620, 186, 230, 35), userFrame);
    p.drawImage(QRect(620, 232, 230, 35), passwordFrame);
}
