// The simulated motor's cost: simulated seconds per second of CPU, at
// standstill and following the demo motion; and whole simulated drives (all
// their parts, as `halvex-drive-sim --stations` composes them) on one line,
// one and eight of them, each following the demo motion and polled every
// 100 ms: simulated seconds per real second on this one thread, which must
// stay at least 10 for eight (exit status 1 when it does not). With --csv FILE it also writes
// the 16 sources, one row per millisecond over two seconds of the demo
// motion, to look at.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "BenchGoals.h"

#include "core/protocol/Registers.h"
#include "sim/DriveBus.h"
#include "sim/VirtualDrive.h"
#include "sim/motor/MotorPart.h"

using namespace hx::sim;

namespace {

double SimulatedPerCpuSecond(bool moving) {
    MotorPart motor;
    if (moving) motor.SetMotion(MakeMotion("demo", motor.Model().Parameters().pulsesPerRev));
    const auto simulated = std::chrono::seconds(20);
    const auto start = std::chrono::steady_clock::now();
    // In steps of 100 ms, as a client polling the drive makes it catch up.
    for (auto t = std::chrono::milliseconds(100); t <= simulated; t += std::chrono::milliseconds(100)) motor.Advance(t);
    const double cpu = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return 20.0 / cpu;
}

// Simulated seconds per real second for `stations` drives on one line.
double LinePerRealSecond(int stations) {
    auto clock = std::make_shared<SteppedClock>();
    DriveOptions o;
    o.databasePath = "-";
    o.clock = clock;
    o.motion = "demo";
    for (int s = 1; s <= stations; ++s) o.stations.push_back(static_cast<uint8_t>(s));
    DriveBus bus(o);
    const int steps = 100;  // 10 s
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < steps; ++i) {
        clock->Step(std::chrono::milliseconds(100));
        for (VirtualDrive* d : bus.Drives()) d->ReadRegister(hx::reg::kSampleState);
    }
    const double real = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return steps * 0.1 / real;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--spectrum") == 0) {
        // The drive's spectrum of its speed feedback, one row per bin.
        auto clock = std::make_shared<SteppedClock>();
        DriveOptions o;
        o.databasePath = "-";
        o.clock = clock;
        o.motion = argc >= 4 ? argv[3] : "none";
        VirtualDrive drive(o);
        clock->Step(std::chrono::milliseconds(700));
        drive.WriteRegister(hx::reg::kSpectrumSettings, 0x12);
        drive.WriteRegister(hx::reg::kSpectrumStart, hx::reg::kSpectrumStartValue);
        clock->Step(std::chrono::milliseconds(512));
        std::ofstream out(argv[2]);
        out << "bin,hz,value\n";
        for (int k = 0; k < 1024; ++k)
            out << k << ',' << k * 4000.0 / 2048 << ','
                << static_cast<int16_t>(drive.ReadRegister(static_cast<uint16_t>(hx::reg::kSpectrumResultFirst + k)))
                << '\n';
        return 0;
    }
    if (argc >= 3 && std::strcmp(argv[1], "--csv") == 0) {
        // Optional: the row spacing in microseconds and the length in ms.
        const int stepUs = argc >= 4 ? std::atoi(argv[3]) : 1000;
        const int rows = (argc >= 5 ? std::atoi(argv[4]) : 2000) * 1000 / (stepUs > 0 ? stepUs : 1000);
        MotorPart motor;
        motor.Advance(std::chrono::milliseconds(200));
        motor.SetMotion(MakeMotion("demo", motor.Model().Parameters().pulsesPerRev));
        std::ofstream out(argv[2]);
        out << "t_ms,poserr,speedfb,posfb,speedref,posref,ialpha,ibeta,magpos,vbus,mode,iq,imag,accref,accfb,unknown,"
               "itorque,loadspeed_centirps\n";
        for (int row = 0; row < rows; ++row) {
            motor.Advance(std::chrono::milliseconds(200) + std::chrono::microseconds(row * stepUs));
            const auto s = motor.Model().Signals();
            out << row * stepUs / 1000.0;
            for (int16_t v : s) out << ',' << v;
            out << ',' << motor.Model().LoadSpeedRps() * 100 << '\n';
        }
    }
    std::printf("motor at standstill: %.0f simulated s per CPU s\n", SimulatedPerCpuSecond(false));
    std::printf("motor in demo motion: %.0f simulated s per CPU s\n", SimulatedPerCpuSecond(true));
    const double one = LinePerRealSecond(1), eight = LinePerRealSecond(8);
    std::printf("1 drive on a line, demo motion: %.1f simulated s per real s\n", one);
    std::printf("8 drives on a line (--stations 1-8), demo motion: %.1f simulated s per real s (goal: >= 10)\n", eight);
    bench::Goals goals;
    // At most 1/10 real s per simulated s.
    goals.AtMost("real s per simulated s of 8 drives", 1.0 / eight, 0.1);
    return goals.Status();
}
