#pragma once

#include <QProcess>

#include <csignal>
#include <sys/prctl.h>

/// The child gets SIGTERM when the test that started it goes, however it goes: programs holding the EchoLink ports
/// must never outlive their test.
inline void endWithTest(QProcess& process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
}
