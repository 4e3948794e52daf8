#pragma once

#include <QUrl>

namespace lumenary::app {

// The only pages the fetcher loads and the only requests its pages send.
inline bool isWebAddress(const QUrl& url) {
    return url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
}

}  // namespace lumenary::app
