// The least a program can do for the logger's polling, in two builds of this file. Every
// 20 ms it writes the next command of the poll cycle to every device, takes whatever bytes
// have arrived and cuts them at CR. No scheduler of ours, no port, no link, no state.
//  - bench_qt_poll_floor: one precise Qt timer runs each tick, so what is left is the Qt event
//    loop around the same system calls.
//  - bench_poll_bare (DOVA_POLL_BARE): one thread sleeps to each tick's deadline in the
//    kernel; nothing but the system calls.
// Both send the logger's own commands (taken from the link), so every command is answered
// and both read as many replies as the logger does.
//
// Usage: bench_qt_poll_floor SECONDS DEVICE...   or   bench_poll_bare SECONDS DEVICE...
// Prints "cpu_ms <user+system ms> lines <lines read>", the form the CPU comparison script
// (cpu_ratio.py) reads from its bare loop. Given either program in the bare loop's place
// (its last argument), it measures the logger against that floor.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "monitor/dova_link.h"

namespace {

struct Device {
  int fd = -1;
  std::array<char, 4096> held{};
  std::size_t size = 0;
};

// The link's poll cycle after the serial and name exchange.
std::vector<QByteArray> PollCycle() {
  std::vector<QByteArray> cycle;
  for (auto step = dova::TDovaLink::kFirstCycleStep; step <= dova::TDovaLink::kLastPollStep; ++step)
    cycle.push_back(dova::TDovaLink::PollCommand(step));
  return cycle;
}

long CpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000 +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

// One tick: the command to every device, then what has arrived from it, cut at CR. Returns
// the number of whole lines read.
long PollOnce(std::vector<Device>& devices, const QByteArray& command) {
  long lines = 0;
  for (Device& device : devices) {
    if (write(device.fd, command.constData(), static_cast<std::size_t>(command.size())) < 0) {
      // A full or closed device: the next tick tries again, as the logger does.
    }
    int queued = 0;
    ioctl(device.fd, FIONREAD, &queued);
    if (queued <= 0) continue;
    const ssize_t got =
        read(device.fd, device.held.data() + device.size, device.held.size() - device.size);
    if (got <= 0) continue;
    device.size += static_cast<std::size_t>(got);
    std::size_t start = 0;
    for (std::size_t j = 0; j < device.size; ++j) {
      if (device.held[j] == '\r') {
        ++lines;
        start = j + 1;
      }
    }
    std::copy(device.held.begin() + static_cast<std::ptrdiff_t>(start),
              device.held.begin() + static_cast<std::ptrdiff_t>(device.size), device.held.begin());
    device.size -= start;
    if (device.size == device.held.size()) device.size = 0;
  }
  return lines;
}

}  // namespace

int main(int argc, char** argv) {
#ifndef DOVA_POLL_BARE
  QCoreApplication app(argc, argv);
#endif
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s SECONDS DEVICE...\n", argv[0]);
    return 2;
  }
  const int seconds = std::atoi(argv[1]);
  std::vector<Device> devices(static_cast<std::size_t>(argc - 2));
  for (std::size_t i = 0; i < devices.size(); ++i) {
    const char* path = argv[i + 2];
    devices[i].fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (devices[i].fd < 0) {
      std::perror(path);
      return 1;
    }
    termios tio{};
    tcgetattr(devices[i].fd, &tio);
    cfmakeraw(&tio);
    cfsetspeed(&tio, B57600);
    tcsetattr(devices[i].fd, TCSANOW, &tio);
  }
  const std::vector<QByteArray> cycle = PollCycle();
  // The link's poll period, and as many ticks as fit in the seconds asked for.
  constexpr std::uint32_t kPeriodMs = dova::TDovaLink::kPollMs;
  const int total_ticks = seconds * 1000 / static_cast<int>(kPeriodMs);
  long lines = 0;
  std::size_t step = 0;
#ifdef DOVA_POLL_BARE
  timespec next{};
  clock_gettime(CLOCK_MONOTONIC, &next);
  for (int tick = 0; tick < total_ticks; ++tick) {
    next.tv_nsec += static_cast<long>(kPeriodMs) * 1000000;
    if (next.tv_nsec >= 1000000000) {
      next.tv_nsec -= 1000000000;
      ++next.tv_sec;
    }
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
    lines += PollOnce(devices, cycle[step++ % cycle.size()]);
  }
#else
  int ticks = 0;
  QTimer timer;
  timer.setTimerType(Qt::PreciseTimer);
  timer.setInterval(static_cast<int>(kPeriodMs));
  QObject::connect(&timer, &QTimer::timeout, [&] {
    lines += PollOnce(devices, cycle[step++ % cycle.size()]);
    if (++ticks >= total_ticks) QCoreApplication::quit();
  });
  timer.start();
  QCoreApplication::exec();
#endif
  std::printf("cpu_ms %ld lines %ld\n", CpuMs(), lines);
  return 0;
}
