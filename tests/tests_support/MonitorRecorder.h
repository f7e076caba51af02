// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcess>
#include <cstring>
#include <vector>

// Records the null sink's monitor as mono float samples. It is started well before
// the first note: an idle null sink holds a new stream's first write for about 2 s.
class MonitorRecorder {
  public:
    // The null sink of the test run's server, or another (its server named in `env`).
    bool start(const QString &source = "tonvik_null.monitor",
               const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment()) {
        process_.setProcessEnvironment(env);
        process_.start("parec", {"--device=" + source, "--format=float32le", "--rate=48000",
                                 "--channels=1", "--latency-msec=10", "--raw"});
        return process_.waitForStarted(3000);
    }
    // What was recorded since the last take.
    std::vector<float> take() {
        process_.waitForReadyRead(50);
        pending_ += process_.readAllStandardOutput();
        std::vector<float> out(size_t(pending_.size()) / sizeof(float));
        if (!out.empty())
            std::memcpy(out.data(), pending_.constData(), out.size() * sizeof(float));
        pending_.remove(0, qsizetype(out.size() * sizeof(float))); // a split sample waits
        return out;
    }
    ~MonitorRecorder() {
        process_.kill();
        process_.waitForFinished(2000);
    }

  private:
    QProcess process_;
    QByteArray pending_;
};
