// A serial communication port driven by one worker thread with overlapped I/O: it opens the
// port with the unit's settings, turns what the port reports into notifications queued for
// the main thread, and writes what the main thread hands it.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include <string_view>
#include "framework/gdi.h"
#include "comm/notify_queue.h"

namespace comm {

using framework::KernelHandle;

// Notification codes the worker queues (1032 carries a received byte).
enum SerialNote : uint32_t {
  kNoteBreak = 1026, kNoteCtsOn, kNoteDsrOn, kNoteLineError, kNoteRing, kNoteCarrierOn,
  kNoteByte, kNoteEventChar, kNoteCtsOff, kNoteDsrOff, kNoteCarrierOff,
};

struct SerialSettings {
  int32_t port = 1;          // "\\.\COM" + port
  int32_t baud = 19200;
  int32_t data_bits = 8;     // the low byte is used
  int32_t stop_bits = 1;     // 1 one, 2 one and a half, 3 two
  bool parity_check = false;
  std::string event_char;    // only its first byte counts; empty = none
  int32_t timeout = 1000;    // milliseconds, all five port time-outs
  int32_t parity = 0;        // 0 none, 1 odd, 2 even, 3 mark, 4 space
  int32_t flow = 0;          // 0 none, 1 CTS/RTS, 2 CTS/DTR, 3 DSR/RTS, 4 DSR/DTR, 5 XON/XOFF
  int32_t rts = 0;           // 1 = RTS off
  int32_t dtr = 0;           // 1 off, 2 on, 0 as the driver has it
};

class SerialPort {
 public:
  explicit SerialPort(NotifyQueue& queue) : queue_(queue) {}
  ~SerialPort() { close(); }
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // Closes first; false leaves the port closed with no worker.
  bool open(const SerialSettings& s);
  // Stops the worker (it ends before this returns), closes the port, empties the queue.
  void close();
  bool is_open() const { return static_cast<bool>(worker_); }
  // Hands the bytes to the worker and waits until they are written: false when closed or
  // when the write failed.
  bool send(std::string_view bytes);
  // state 1 clears, 2 sets; line 1 DTR, 2 RTS, 3 break. The system's answer, 0 when closed
  // or out of range.
  int set_line(int state, int line);

 private:
  static DWORD WINAPI worker_main(void* self);
  void run();
  void on_port_event(DWORD seen);
  void read_waiting();
  void write_output();
  // Waits for a pending operation of `ov`; false when it failed or the stop event came.
  bool finish(OVERLAPPED& ov, DWORD& count);
  // Ends the pending event wait when the worker stops.
  void end_wait();

  NotifyQueue& queue_;
  KernelHandle port_;
  KernelHandle worker_;
  KernelHandle stop_;          // auto-reset: main thread asks the worker to end
  KernelHandle write_request_; // auto-reset: output buffer ready
  KernelHandle write_done_;    // auto-reset: worker finished the write
  KernelHandle wait_event_;    // manual-reset: the overlapped port-event wait
  KernelHandle io_event_;      // manual-reset: overlapped reads and writes
  DWORD mask_ = 0;             // the event mask asked for
  OVERLAPPED wait_{};          // the worker's event wait; lives as long as the port object
  DWORD seen_ = 0;             // events the wait reports
  std::string output_;         // handed over by write_request_ / write_done_
  bool write_ok_ = false;
};

}  // namespace comm
