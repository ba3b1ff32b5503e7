#pragma once

#include <QDeadlineTimer>
#include <functional>

// Waits that keep the program's events served: the command transaction and the timed
// pauses. While any of them runs, the work loop's idle step must not start (it would put a
// second exchange on the line), so they are counted here.
namespace EventWait {

// Serves events until done() holds or the deadline passes; true when done() held.
bool until(const std::function<bool()>& done, QDeadlineTimer deadline = QDeadlineTimer::Forever);
// Serves events for ms milliseconds.
void pause(int ms);
// Number of such waits in progress on this thread.
int depth();

// Marks a wait of the caller's own for as long as it lives.
class Scope {
public:
    Scope();
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
};

} // namespace EventWait
