#pragma once

#include <cstddef>

// The benchmarks of lumetra-bench. Each prints its figures beside a baseline measured
// in the same run and returns 0 when it measured (whether or not the goal was met), 1
// when it could not.
struct BenchSettings
{
    int exchanges = 2000; // timed round trips per path
    int warmUp = 50;      // untimed round trips per path before them
    int block = 100;      // the paths take turns every this many round trips
    size_t bulkMiB = 64;  // port-forward bulk transfer
    int messages = 20000; // dispatch benchmark
};

// 64-byte round trips: virtual COM port -> serial tunnel -> port-transfer server ->
// echo device, against COM port -> pty/TCP bridge -> echo device.
int RunSerialBench(const BenchSettings& settings);
// 64-byte round trips and bulk echo throughput: local listener -> port-forward
// tunnel -> relay server -> echo device, against a direct connection to it.
int RunPortForwardBench(const BenchSettings& settings);
// Messages per second from the broker to a tunnel's OnMessage through the client's
// MQTT thread and dispatch, against a plain subscriber.
int RunDispatchBench(const BenchSettings& settings);

inline const char* Verdict(bool met)
{
    return met ? "met" : "MISSED";
}
