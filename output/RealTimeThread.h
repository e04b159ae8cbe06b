#pragma once

// Asks for first-in-first-out real-time scheduling at the highest priority for the calling
// thread. Refused without the right to real-time scheduling; the thread then goes on at normal
// priority and larger blocks make up for it. true when granted.
bool RequestRealTimeScheduling() noexcept;
