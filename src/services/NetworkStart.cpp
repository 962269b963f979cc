#include "services/NetworkStart.h"

#include <QSslConfiguration>

namespace NetworkStart {

void prepare()
{
    QSslConfiguration::defaultConfiguration();
}

} // namespace NetworkStart
