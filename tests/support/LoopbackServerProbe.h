#pragma once

#include <QByteArray>

#include <functional>

// For the real servers the tests start on 127.0.0.1.

// A port no one listens on at the moment of asking.
quint16 freeLoopbackPort();

// Whether a server on 127.0.0.1:port answers with a first line beginning with greeting
// within about ten seconds; gives up at once when stillStarting says no.
bool waitForGreeting(quint16 port, const QByteArray& greeting,
                     const std::function<bool()>& stillStarting = {});
