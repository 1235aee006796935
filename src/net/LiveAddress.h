#pragma once
// The address a phone on the same network opens for the live results.
#include <QString>

// "http://192.168.1.20:8080/": the IPv4 address of an interface that is up and not the loopback,
// Wi-Fi before cable before others before virtual ones; "http://localhost:8080/" on a machine
// without one.
QString LiveAddress(quint16 port);
