#pragma once

#include <cstddef>

class Report;

// The benchmarks of lumetra-bench. Each prints its figures beside a baseline and the
// tool a user would pick instead (the peer), measured in the same run, adds them with
// their goals to the report, and returns 0 when it measured (whether or not a goal
// was met), 1 when it could not.
struct BenchSettings
{
    int exchanges = 2000;    // timed round trips per path
    int warmUp = 50;         // untimed round trips per path before them
    int block = 100;         // the paths take turns every this many round trips
    size_t bulkMiB = 256;    // port-forward bulk transfer
    int messages = 20000;    // dispatch benchmark
    double idleSeconds = 10; // idle benchmark
    int startups = 5;        // start-up benchmark, after one that is not counted
};

// 64-byte round trips: virtual COM port -> serial tunnel -> port-transfer server ->
// echo device, against COM port -> pty/TCP bridge -> echo device (baseline) and
// COM port -> socat -> echo device (peer).
int RunSerialBench(const BenchSettings& settings, Report& report);
// 64-byte round trips and bulk echo throughput: local listener -> port-forward
// tunnel -> relay server -> echo device, against a direct connection to it (baseline)
// and a chain of two socat relays (peer); the client's resident size before and
// after the bulk transfer.
int RunPortForwardBench(const BenchSettings& settings, Report& report);
// Messages per second from the broker to a tunnel's OnMessage through the client's
// MQTT thread and dispatch, against a plain subscriber.
int RunDispatchBench(const BenchSettings& settings, Report& report);
// Processor time of two lumetra-cli, one serial and one port-forward tunnel open,
// without traffic.
int RunIdleBench(const BenchSettings& settings, Report& report);
// Time from starting `lumetra` to its login view drawn, under Xvfb.
int RunStartupBench(const BenchSettings& settings, Report& report);

inline const char* Verdict(bool met)
{
    return met ? "met" : "MISSED";
}
