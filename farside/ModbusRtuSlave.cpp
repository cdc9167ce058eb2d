#include "ModbusRtuSlave.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

std::unique_ptr<ModbusRtuSlave> ModbusRtuSlave::Start(const DeviceSimulation& simulation,
                                                      const LineSettings& line, std::string* error)
{
    std::unique_ptr<ModbusRtuSlave> slave(new ModbusRtuSlave());
    slave->mapping_ = simulation.NewMapping();
    if (!slave->mapping_) {
        *error = "cannot make the Modbus register map";
        return nullptr;
    }
    slave->master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char path[128] = {};
    if (slave->master_ < 0 || grantpt(slave->master_) != 0 || unlockpt(slave->master_) != 0 ||
        ptsname_r(slave->master_, path, sizeof path) != 0 || pipe2(slave->wake_, O_CLOEXEC) != 0) {
        *error =
            std::string("cannot make a pseudo-terminal for the Modbus RTU slave: ") + std::strerror(errno);
        return nullptr;
    }
    slave->context_ = modbus_new_rtu(path, line.baud, line.parity, line.dataBits, line.stopBits);
    if (!slave->context_ || modbus_set_slave(slave->context_, simulation.slaveId) != 0 ||
        modbus_connect(slave->context_) != 0) {
        *error = std::string("cannot start the Modbus RTU slave on ") + path + ": " + modbus_strerror(errno);
        return nullptr;
    }
    slave->slaveThread_ = std::thread(&ModbusRtuSlave::Serve, slave.get());
    slave->readerThread_ = std::thread(&ModbusRtuSlave::ReadMaster, slave.get());
    return slave;
}

ModbusRtuSlave::~ModbusRtuSlave()
{
    stopping_ = true;
    if (readerThread_.joinable()) {
        const char byte = 0;
        (void)!write(wake_[1], &byte, 1);
        readerThread_.join();
    }
    // Closing the master hangs the terminal up: the slave's wait for a request ends
    // with an error, and the slave thread sees that it is stopping.
    if (master_ >= 0)
        close(master_);
    if (slaveThread_.joinable())
        slaveThread_.join();
    if (context_) {
        modbus_close(context_);
        modbus_free(context_);
    }
    for (int fd : wake_)
        if (fd >= 0)
            close(fd);
}

void ModbusRtuSlave::Feed(const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p = {master_, POLLOUT, 0};
            poll(&p, 1, 1000);
        } else if (n < 0 && errno != EINTR) {
            return;
        }
    }
}

void ModbusRtuSlave::Serve()
{
    uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
    while (!stopping_) {
        const int length = modbus_receive(context_, query);
        if (length > 0) {
            modbus_reply(context_, query, length, mapping_.get());
        } else if (length < 0) {
            if (stopping_)
                break;
            // A broken frame (bad CRC, unknown function, a pause inside it): drop
            // whatever is left so that the next request starts clean.
            modbus_flush(context_);
        }
        // 0: a request for another slave id, ignored as on a real bus.
    }
}

void ModbusRtuSlave::ReadMaster()
{
    char buffer[512];
    pollfd fds[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    while (!stopping_) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[1].revents)
            break;
        const ssize_t n = read(master_, buffer, sizeof buffer);
        if (n > 0)
            Emit(std::string(buffer, static_cast<size_t>(n)));
        else if (n < 0 && errno != EINTR && errno != EAGAIN)
            break;
    }
}
