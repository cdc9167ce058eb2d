#include "endpoint/CSerialIO.h"

#include "endpoint/SerialWaiter.h"
#include "platform/MessageBox.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

// What the caller's side and the reader thread share. It lives as long as either of
// them holds it, so a reader cut loose by the destructor never touches freed memory.
struct CSerialIO::Shared
{
    // Held by the reader for a whole pass (port calls and notifications) and by the
    // destructor while it stops the reader and closes the port. Released by the reader
    // while it shows a message box. Recursive, so a notification may destroy its own
    // endpoint.
    std::recursive_mutex pass;
    // Guards the requests below; never held across a port call or a notification.
    std::mutex requests;

    // Guarded by `requests`.
    bool openRequest = false;
    bool closeRequest = false;
    std::deque<std::vector<char>> writes;
    // Set when a write found the queue full; until the queue has drained, every
    // write is dropped, so the stream has one gap and not many small ones.
    bool overflowing = false;
    // Someone waits for the queue to drain (NotifyWhenDrained).
    bool drainWanted = false;
    QString portName = QStringLiteral("COM1");
    QString baudText = QStringLiteral("115200");
    SerialLineSettings settings;

    // Guarded by `pass`.
    bool stop = false;
    bool inPortCall = false; // the reader is inside a SerialPort call of its pass
    bool inBox = false;      // the reader released `pass` to show a message box
    CSerialIO* owner = nullptr;
    SerialPort port;
    // What the last pass did about reading: the owner held it back (WantsRead said
    // no); bytes came.
    bool readHeld = false;
    bool received = false;

    // Wake from any thread; Watch and Wait on the reader thread only.
    SerialWaiter waiter;

    // The thread that runs this block's reader while it runs; its own id otherwise
    // never matches a caller's.
    std::atomic<std::thread::id> readerThread{};

    bool OnReaderThread() const { return readerThread.load() == std::this_thread::get_id(); }
};

namespace {

const int kBaudRates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                          19200, 38400, 56000, 57600, 115200, 128000, 256000};

// The class's texts are diagnostics: they go to standard error, never to the
// standard output that programs keep for their results.
void Print(const char* text)
{
    std::fputs(text, stderr);
    std::fflush(stderr);
}

} // namespace

CSerialIO::CSerialIO() : shared_(std::make_shared<Shared>())
{
    Shared& shared = *shared_;
    shared.settings.byteSize = 8;
    shared.settings.parity = 0;
    shared.settings.stopBits = 0;
    ApplyBaudText(shared.settings, shared.baudText);
    shared.owner = this;

    shared.port.SetMessageSink(&CSerialIO::ShowPortMessage, shared_.get());

    reader_ = std::thread(&CSerialIO::ReaderLoop, shared_);
}

// A message from the reader's own port call is shown with `pass` released, so the
// destroying thread is never held up by a box that waits for an answer.
void CSerialIO::ShowPortMessage(void* context, const QString& text)
{
    Shared* raw = static_cast<Shared*>(context);
    if (raw->OnReaderThread() && raw->inPortCall) {
        raw->inBox = true;
        raw->pass.unlock();
        platform::AfxMessageBox(text);
        raw->pass.lock();
        raw->inBox = false;
    } else {
        platform::AfxMessageBox(text);
    }
}

CSerialIO::~CSerialIO()
{
    StopReader();
}

void CSerialIO::StopReader()
{
    if (!shared_)
        return;
    std::shared_ptr<Shared> shared = std::move(shared_);
    bool cutLoose = false;
    {
        std::lock_guard<std::recursive_mutex> pass(shared->pass);
        {
            std::lock_guard<std::mutex> requests(shared->requests);
            shared->openRequest = false;
            shared->closeRequest = false;
            shared->writes.clear();
        }
        shared->stop = true;
        shared->owner = nullptr;
        if (shared->port.IsOpen())
            shared->port.Close();
        shared->waiter.Wake();
        cutLoose = shared->inBox || shared->OnReaderThread();
    }
    if (!reader_.joinable())
        return;
    if (cutLoose)
        reader_.detach();
    else
        reader_.join();
}

bool CSerialIO::ApplyBaudText(SerialLineSettings& settings, const QString& baudText)
{
    // Read like atoi (leading blanks, a sign, then digits), but a number too large for
    // an int simply matches no rate.
    const long long rate = std::strtoll(baudText.toUtf8().constData(), nullptr, 10);
    for (const int known : kBaudRates) {
        if (rate == known) {
            settings.baudRate = static_cast<uint32_t>(rate);
            return true;
        }
    }
    return false;
}

void CSerialIO::Open(const QString& portName, const QString& baudText, int /*dataBits*/, char /*parity*/,
                     int /*stopBits*/)
{
    if (!shared_)
        return;
    {
        std::lock_guard<std::mutex> requests(shared_->requests);
        shared_->portName = portName;
        shared_->baudText = baudText;
        shared_->settings.byteSize = 8;
        shared_->settings.parity = 0;
        shared_->settings.stopBits = 0;
        shared_->openRequest = true;
    }
    shared_->waiter.Wake();
}

void CSerialIO::Close()
{
    if (!shared_)
        return;
    {
        std::lock_guard<std::mutex> requests(shared_->requests);
        shared_->closeRequest = true;
        shared_->openRequest = false;
    }
    shared_->waiter.Wake();
}

void CSerialIO::ResumeReading()
{
    if (shared_)
        shared_->waiter.Wake();
}

bool CSerialIO::Write(const char* data, int length)
{
    if (length > kSendLimit) {
        Print("buffer over flow\n");
        OnSend(-1);
        return false;
    }
    if (length < 0 || (data == nullptr && length > 0) || !shared_) {
        OnSend(-1);
        return false;
    }
    bool queued = false;
    bool first = false;
    bool starts = false;
    QString portName;
    {
        std::lock_guard<std::mutex> requests(shared_->requests);
        if (!shared_->overflowing && shared_->writes.size() < static_cast<size_t>(kMaxQueuedWrites)) {
            first = shared_->writes.empty();
            shared_->writes.emplace_back(data, data + length);
            queued = true;
        } else {
            starts = !shared_->overflowing;
            shared_->overflowing = true;
            portName = shared_->portName;
        }
    }
    if (queued) {
        // Only a write into an empty queue wakes the reader: until the reader has
        // found the queue empty, it is still writing and takes this write too.
        if (first)
            shared_->waiter.Wake();
        return true;
    }
    // One line for the whole overflow, when it starts; the writes dropped during it
    // are reported through OnSend only.
    if (starts) {
        const std::string line = "buffer over flow: " + portName.toStdString() + " has " +
                                 std::to_string(kMaxQueuedWrites) +
                                 " writes waiting; what comes until they are written is dropped\n";
        Print(line.c_str());
    }
    OnSend(-1);
    return false;
}

int CSerialIO::WritesWaiting() const
{
    if (!shared_)
        return 0;
    std::lock_guard<std::mutex> requests(shared_->requests);
    return static_cast<int>(shared_->writes.size());
}

bool CSerialIO::NotifyWhenDrained()
{
    if (!shared_)
        return false;
    std::lock_guard<std::mutex> requests(shared_->requests);
    shared_->drainWanted = shared_->writes.size() > static_cast<size_t>(kResumeWrites);
    return shared_->drainWanted;
}

SerialLineSettings CSerialIO::LineSettings() const
{
    if (!shared_)
        return SerialLineSettings();
    std::lock_guard<std::mutex> requests(shared_->requests);
    return shared_->settings;
}

QString CSerialIO::PortName() const
{
    if (!shared_)
        return QString();
    std::lock_guard<std::mutex> requests(shared_->requests);
    return shared_->portName;
}

QString CSerialIO::BaudText() const
{
    if (!shared_)
        return QString();
    std::lock_guard<std::mutex> requests(shared_->requests);
    return shared_->baudText;
}

void CSerialIO::OnOpen(int result)
{
    Print(result == 1 ? "port open successfully\n" : "port open failed\n");
}

void CSerialIO::OnClose(int result)
{
    Print(result == 1 ? "port close successfully\n" : "port close failed\n");
}

void CSerialIO::OnReceive(const char* /*data*/, int /*length*/) {}

bool CSerialIO::WantsRead()
{
    return true;
}

void CSerialIO::OnWritesDrained() {}

void CSerialIO::OnSend(int count)
{
    if (count < 0) {
        Print("write error\n");
    } else {
        char text[32];
        std::snprintf(text, sizeof text, "%d bytes send\n", count);
        Print(text);
    }
}

void CSerialIO::ReaderLoop(std::shared_ptr<Shared> shared)
{
    shared->readerThread = std::this_thread::get_id();
    bool hangUp = false;
    for (;;) {
        int timeoutMs = kIdleWaitMs;
        {
            std::lock_guard<std::recursive_mutex> pass(shared->pass);
            if (shared->stop)
                break;
            RunPass(*shared);
            if (shared->stop)
                break;
            timeoutMs = PlanWait(*shared, hangUp);
        }
        // Outside `pass`: a request, a write or the destructor wakes the wait.
        hangUp = shared->waiter.Wait(timeoutMs).hangUp;
    }
    shared->readerThread = std::thread::id();
}

int CSerialIO::PlanWait(Shared& shared, bool hangUp)
{
    bool reading;
    bool writing;
    {
        std::lock_guard<std::mutex> requests(shared.requests);
        reading = shared.openRequest;
        writing = !shared.writes.empty();
    }
    reading = reading && !shared.readHeld;
    int timeoutMs = shared.readHeld ? kHeldReadWaitMs : kIdleWaitMs;
    if (hangUp && !shared.received) {
        // The port hung up and gave nothing: it would report the hang-up again at
        // once, so it is left alone for a while and then read again.
        reading = false;
        writing = false;
        timeoutMs = kHangUpPauseMs;
    }
    shared.waiter.Watch(shared.port, reading, writing);
    return timeoutMs;
}

// One pass over the requests; called with `pass` held. After every port call the stop
// flag is checked again, because a message box shown by the call releases `pass`.
void CSerialIO::RunPass(Shared& shared)
{
    shared.readHeld = false;
    shared.received = false;
    bool openRequest;
    std::string portName;
    SerialLineSettings settings;
    {
        std::lock_guard<std::mutex> requests(shared.requests);
        openRequest = shared.openRequest;
        portName = shared.portName.toUtf8().toStdString();
        settings = shared.settings;
    }

    if (!shared.port.IsOpen() && openRequest) {
        shared.inPortCall = true;
        const int opened = shared.port.Open(settings, portName);
        shared.inPortCall = false;
        if (shared.stop)
            return;
        if (!opened) {
            // A failed open is not retried until the next Open.
            std::lock_guard<std::mutex> requests(shared.requests);
            shared.openRequest = false;
        }
        if (shared.owner)
            shared.owner->OnOpen(opened ? 1 : 0);
        if (shared.stop)
            return;
    } else if (openRequest && shared.owner != nullptr && !shared.owner->WantsRead()) {
        shared.readHeld = true;
    } else if (openRequest) {
        char buffer[kReadChunk];
        std::memset(buffer, 0, sizeof buffer);
        int count = 0;
        shared.received = shared.port.Read(buffer, kReadChunk, &count) && count > 0;
        if (shared.received && shared.owner)
            shared.owner->OnReceive(buffer, count);
        if (shared.stop)
            return;
    }

    // Every write queued so far, one after another in the order they were made.
    for (;;) {
        std::vector<char> data;
        bool drained = false;
        {
            std::lock_guard<std::mutex> requests(shared.requests);
            if (shared.writes.empty())
                break;
            data = std::move(shared.writes.front());
            shared.writes.pop_front();
            // The queue has drained: an overflow, if any, is over, and the next
            // write is taken again.
            if (shared.writes.empty())
                shared.overflowing = false;
            if (shared.drainWanted && shared.writes.size() <= static_cast<size_t>(kResumeWrites)) {
                shared.drainWanted = false;
                drained = true;
            }
        }
        int written = 0;
        shared.inPortCall = true;
        const int ok = shared.port.Write(data.data(), static_cast<int>(data.size()), &written);
        shared.inPortCall = false;
        if (shared.stop)
            return;
        if (shared.owner)
            shared.owner->OnSend(ok ? written : -1);
        if (shared.stop)
            return;
        if (drained && shared.owner)
            shared.owner->OnWritesDrained();
        if (shared.stop)
            return;
    }

    bool closeRequest;
    {
        std::lock_guard<std::mutex> requests(shared.requests);
        closeRequest = shared.closeRequest;
        shared.closeRequest = false;
    }
    if (closeRequest) {
        shared.inPortCall = true;
        const int closed = shared.port.Close();
        shared.inPortCall = false;
        if (shared.stop)
            return;
        if (shared.owner)
            shared.owner->OnClose(closed == 1 ? 1 : 0);
    }
}
