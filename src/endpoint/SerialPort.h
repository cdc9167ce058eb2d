#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <string>

// The line settings the program uses, with the values of the Windows port record:
// parity 0 none, 1 odd, 2 even; stop bits 0 one, 1 one and a half, 2 two.
struct SerialLineSettings
{
    uint32_t baudRate = 9600;
    uint8_t byteSize = 8;
    uint8_t parity = 0;
    uint8_t stopBits = 0;
};

// One serial port on termios: opened read/write, exclusively (TIOCEXCL), in raw mode,
// non-blocking, so a read returns at once with whatever has arrived. Port names go
// through ResolveComPortName ("COMk" and "\\.\COMk" are links in the virtual COM
// folder; "/..." is a path). Problems are shown as message boxes with the texts below
// (and the errno code where one is given), through the message sink.
//
// Not thread-safe: its owner (one CSerialIO) serialises every call.
class SerialPort
{
public:
    // Called with the context given to SetMessageSink.
    using MessageSink = void (*)(void* context, const QString& text);

    // Not open, line settings 9600 baud 8N1, messages to AfxMessageBox.
    SerialPort();
    // Closes the port quietly when it is still open.
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Where the messages go instead of AfxMessageBox (a null sink drops them). The
    // sink is called as the last step of the failing operation: nothing of the port
    // is touched after it.
    void SetMessageSink(MessageSink sink, void* context);

    // Opens `name` with `settings`. 1 on success; 0 when already open or on failure.
    int Open(const SerialLineSettings& settings, const std::string& name);
    // Reads up to `requested` bytes without waiting; `*read` gets the count (0 when
    // nothing has arrived). 0 when the port is not open or the read failed.
    int Read(char* buffer, int requested, int* read);
    // Writes all `requested` bytes, waiting for room while the port takes them (up to
    // kWriteStallMs without progress). An empty request, or a port that is not open,
    // is refused with 0 and no message. On failure shows the message and returns 0.
    int Write(const char* data, int requested, int* written);
    // Closes the port. 0 when it was not open; 1 when closed; on failure shows the
    // message and returns 0.
    int Close();
    int IsOpen() const { return open_; }
    // The open port's descriptor, for waiting on it (SerialWaiter); -1 when closed.
    int NativeHandle() const { return fd_; }

    const SerialLineSettings& LineSettings() const { return settings_; }

    // How long a write waits for a port that takes nothing before it counts as failed.
    static constexpr int kWriteStallMs = 2000;

private:
    void Report(const QString& text);

    int open_ = 0;
    int fd_ = -1;
    SerialLineSettings settings_;
    static void ShowBox(void* context, const QString& text);

    MessageSink sink_ = &SerialPort::ShowBox;
    void* sinkContext_ = nullptr;
};
