// Ctrl-C, SIGTERM or SIGHUP while data loads: the load is asked to stop,
// so that a database stops the query it runs for us and a terminal whose
// echo was turned off for a password gets it back; once the watch ends,
// the signal takes its usual course and ends the process.
#pragma once

class InterruptionWatch {
public:
    InterruptionWatch();
    ~InterruptionWatch();
    InterruptionWatch(const InterruptionWatch&) = delete;
    InterruptionWatch& operator=(const InterruptionWatch&) = delete;

    // Whether one of the signals came while a watch was kept.
    static bool interrupted();
};
