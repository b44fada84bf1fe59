#pragma once

#include <cstdint>

// What workers and windows tell windows. The ids are window messages from
// WM_APP (0x8000) upward in this order, so a window target posts them as they
// are; the first parameter carries a number or a packet, the second is always 0.
enum NotifyEvent : uint32_t {
    EventConnectionState = 0x8000,  // wParam: ConnectionState
    EventItemChanged,               // wParam: data address 0..65535
    EventPacketSent,                // wParam: the request ModbusPacket, owned by the receiver
    EventPacketReceived,            // wParam: the reply ModbusPacket, owned by the receiver
    EventTimeoutRetry,              // wParam: 0
    EventTimeoutGiveUp,             // wParam: 0
    EventDocumentChanged,           // wParam: 0
    EventRunState,                  // wParam: 1 polling started, 0 stopped
    EventCommandState,              // wParam: 0
    EventPacketSelected,            // wParam: a ModbusPacket lent by the monitor, or null
    // Kept after the ten above so their numbers never move. A worker's run is
    // over (stopped, or ended by itself: a single poll done, a link that could
    // not be made); the owner refreshes its commands without polling. wParam is
    // chosen by whoever posts it (for the masters: 0).
    EventRunEnded,
};

// wParam of EventConnectionState.
enum class ConnectionState : uint32_t {
    Attempting = 0,  // a connection attempt starts
    Connected = 1,   // the link is up; polling begins
    Lost = 2,        // the peer closed the TCP connection; the master reconnects
    Failed = 3,      // a connection attempt or a serial transfer failed
    Closed = 4,      // the master closed the link and its run ends
};

// True for the events whose wParam passes a packet's ownership to the receiver.
constexpr bool CarriesOwnedPacket(uint32_t event) {
    return event == EventPacketSent || event == EventPacketReceived;
}
