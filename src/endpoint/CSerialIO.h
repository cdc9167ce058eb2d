#pragma once

#include "endpoint/SerialPort.h"

#include <QString>

#include <memory>
#include <thread>

// A serial port endpoint with its own reader thread. The caller's side (Open, Close,
// Write, normally on the UI thread) only hands requests over; the reader thread opens,
// reads (at most 300 bytes a pass), writes and closes the port, and reports every
// outcome through the notifications, on the reader thread.
//
// Passes: the reader sleeps (SerialWaiter) until the open port has bytes, a request or
// a write comes (each wakes it), or a bounded time passed, then makes one pass over
// the requests. An open port with no traffic costs no CPU. While the owner holds the
// reading back (WantsRead false) the port is not watched for bytes; the reader asks
// again after kHeldReadWaitMs, or at once after ResumeReading. A port that reports a
// hang-up and gives no bytes (a pty whose other side nobody holds) is left unwatched
// for kHangUpPauseMs at a time, so its standing hang-up never spins the reader.
//
// Each CSerialIO owns its own SerialPort, so two endpoints never share a port.
//
// Writes: Write copies the bytes into a queue and returns; the reader thread writes
// each queued write whole, in the order of the Write calls, and reports each with one
// OnSend. A Write made before the previous one was sent therefore waits its turn: it
// neither replaces nor tears a pending write. Write may be called from any thread.
//
// Lifetime: the reader thread runs from construction until the object goes (it does
// not outlive it). Destruction clears the open request, waits for the reader's pass
// in progress (port calls and notifications), closes the port from the destroying
// thread and ends the reader thread. A reader thread that is showing a message box at
// that moment is not waited for: it is cut loose from this object and ends as soon as
// the box is answered, so destroying an endpoint on the UI thread never waits on a box
// that only the UI thread can show. A notification must therefore never wait for the
// thread that destroys its endpoint.
//
// Subclasses that override notifications call StopReader() first thing in their
// destructor, so no notification reaches a half-destroyed object.
class CSerialIO
{
public:
    static constexpr int kSendLimit = 1024; // bytes in one Write
    static constexpr int kReadChunk = 300;  // bytes read in one pass
    static constexpr int kMaxQueuedWrites = 1024;
    // Flow control of a writer that watches the queue (WritesWaiting): it holds back
    // from kHoldWrites waiting writes on and hears of the drain at kResumeWrites.
    static constexpr int kHoldWrites = 256;
    static constexpr int kResumeWrites = 64;
    // The reader's waits: the longest sleep with nothing to do, the sleep between two
    // asks while the owner holds the reading back, the pause after a hang-up.
    static constexpr int kIdleWaitMs = 1000;
    static constexpr int kHeldReadWaitMs = 50;
    static constexpr int kHangUpPauseMs = 100;

    // Port "COM1", baud text "115200", 8 data bits, no parity, one stop bit; the baud
    // rate is derived from the baud text. Starts the reader thread.
    CSerialIO();
    virtual ~CSerialIO();
    CSerialIO(const CSerialIO&) = delete;
    CSerialIO& operator=(const CSerialIO&) = delete;

    // Asks the reader thread to open `portName`; the outcome comes through OnOpen. The
    // baud text is stored, 8N1 is set; the data-bit, parity ('N', 'O', 'E') and
    // stop-bit arguments are accepted and not applied, and the baud rate stays the one
    // derived at construction.
    void Open(const QString& portName, const QString& baudText, int dataBits, char parity, int stopBits);
    // Asks the reader thread to close the port; the outcome comes through OnClose.
    void Close();
    // Hands `length` bytes to the reader thread; the outcome comes through OnSend.
    // More than kSendLimit bytes are refused at once: "buffer over flow" on standard
    // error and OnSend(-1) on the calling thread. At most kMaxQueuedWrites writes
    // (so at most 1 MiB) wait for the port: a write that finds the queue full starts
    // an overflow, which drops every write (OnSend(-1) on the calling thread) until
    // the queue has drained, and writes one "buffer over flow" line to standard
    // error for the whole overflow. Returns whether the bytes were queued (a refused
    // write has had its OnSend(-1) when this returns).
    bool Write(const char* data, int length);

    // The owner wants bytes again after its WantsRead said no: the reader asks again
    // at once instead of after kHeldReadWaitMs. Any thread.
    void ResumeReading();

    // Writes waiting for the port (any thread).
    int WritesWaiting() const;
    // Asks for one OnWritesDrained once at most kResumeWrites writes wait. Returns
    // false, asking nothing, when that holds already. Any thread.
    bool NotifyWhenDrained();

    SerialLineSettings LineSettings() const;
    QString PortName() const;
    QString BaudText() const;

    // Sets `settings.baudRate` from a decimal baud text when it names one of the
    // recognised rates (110 ... 256000); any other text leaves it as it was. Returns
    // whether the rate was set.
    static bool ApplyBaudText(SerialLineSettings& settings, const QString& baudText);

protected:
    // Result 1 when the port opened, 0 when it did not. Prints the outcome (the
    // texts of this class go to standard error).
    virtual void OnOpen(int result);
    // Result 1 when the port was closed, 0 otherwise. Prints the outcome.
    virtual void OnClose(int result);
    // Bytes read from the port, valid only during the call. Does nothing.
    virtual void OnReceive(const char* data, int length);
    // Bytes written, or -1 for a failed or refused write. Prints the outcome.
    virtual void OnSend(int count);
    // Asked before each read of the port: false skips the read of this pass (see
    // Passes above for when it is asked again). The base always reads.
    virtual bool WantsRead();
    // The write queue drained as asked by NotifyWhenDrained. Does nothing.
    virtual void OnWritesDrained();

    // Ends the reader thread and closes the port (see Lifetime above). Idempotent.
    void StopReader();

private:
    struct Shared;
    static void ReaderLoop(std::shared_ptr<Shared> shared);
    static void RunPass(Shared& shared);
    // Chooses what the reader waits for after a pass and for how long; called with
    // `pass` held. `hangUp`: the wait before this pass saw the port hang up.
    static int PlanWait(Shared& shared, bool hangUp);
    // The port's message sink; `context` is the Shared block.
    static void ShowPortMessage(void* context, const QString& text);

    std::shared_ptr<Shared> shared_;
    std::thread reader_;
};
