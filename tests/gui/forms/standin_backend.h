// A stand-in for the backend program, placed where the runner starts it
// (<program folder>/ZOR17). It keeps a copy of every job file it gets (job1.ini, job2.ini,
// ...), answers READ functions with the prepared unit files unit<instance>.bin, keeps what
// WRITE functions send as written<instance>.bin, answers a scan with scan.csv, and ends its
// log with the prepared verdict. While a file "hold" lies beside it, it waits for "go".
#pragma once

#include "gui/core/backend_runner.h"

#include <QByteArray>
#include <QFile>
#include <QString>

struct StandinBackend {
  QString folder;

  static constexpr const char* kScript = R"(#!/bin/sh
dir=$(dirname "$0")
n=$(( $(cat "$dir/runs" 2>/dev/null || echo 0) + 1 ))
echo $n > "$dir/runs"
job="$1"
cp "$job" "$dir/job$n.ini"
log=$(sed -n 's/^LOGFILE=//p' "$job" | tr -d '\r')
: > "$log"
if [ -f "$dir/hold" ]; then
  while [ ! -f "$dir/go" ]; do sleep 0.01; done
fi
tr -d '\r' < "$job" | awk -F= '
  /^\[/ { inst = "-" }
  /^TODO=/ { todo = $2 }
  /^FILE_INSTANCE=/ { inst = $2 }
  /^RESULTFILE=/ || /^SOURCEFILE=/ { print todo, inst, $2 }
' | while read todo inst path; do
  case "$todo" in
    READ) cp "$dir/unit$inst.bin" "$path" ;;
    WRITE) cp "$path" "$dir/written$inst.bin" ;;
    SCAN_DEVICE) cp "$dir/scan.csv" "$path" ;;
  esac
done
if [ -f "$dir/verdict" ]; then cat "$dir/verdict" >> "$log"; else printf '\n-->Successful finished\n' >> "$log"; fi
)";

  bool install(const QString& programFolder)
  {
    folder = programFolder;
    QFile f(shell::BackendProgram());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(kScript) < 0)
      return false;
    f.close();
    return f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  }

  bool put(const QString& name, const QByteArray& bytes) const
  {
    QFile f(folder + '/' + name);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
  }
  QByteArray get(const QString& name) const
  {
    QFile f(folder + '/' + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  int runs() const { return get("runs").trimmed().toInt(); }
  QByteArray job(int run) const { return get(QStringLiteral("job%1.ini").arg(run)); }
  void hold() const { put("hold", ""); }
  void release() const { put("go", ""); }
};
