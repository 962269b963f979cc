#include "services/NetworkStart.h"

#include <QSslConfiguration>
#include <QtConcurrent/QtConcurrentRun>

namespace NetworkStart {

void warmUp()
{
    // The pool is waited for when the application ends, so this never outlives it.
    [[maybe_unused]] const auto done = QtConcurrent::run([] { QSslConfiguration::defaultConfiguration(); });
}

} // namespace NetworkStart
