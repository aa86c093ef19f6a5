// Serial port: open with the unit's settings, the worker thread's loop, writes and signal lines.
#include "comm/serial_port.h"
#include <cstdio>

namespace comm {

namespace {

constexpr DWORD kModemEvents = EV_CTS | EV_DSR | EV_RING | EV_RLSD;
constexpr DWORD kAllEvents = 0x1F9;  // break, CTS, DSR, error, ring, carrier, received char
constexpr DWORD kPollMs = 20;        // pace of the loop when the port cannot wait for events
constexpr DWORD kChunk = 4096;       // bytes read per call (each still queued on its own)
constexpr DWORD kEndWaitMs = 500;    // bound on the end of a pending wait at close

// The smaller masks tried, in order, when the port refuses a wait at once: a port without
// modem lines (a pseudo-terminal) refuses the modem-signal events, so those are dropped first;
// when even received bytes cannot be waited for, the worker polls its input queue.
DWORD smaller_mask(DWORD mask) {
  if (mask & kModemEvents) return mask & ~kModemEvents;
  if (mask & (EV_BREAK | EV_ERR)) return mask & (EV_RXCHAR | EV_RXFLAG);
  if (mask & EV_RXFLAG) return EV_RXCHAR;
  return 0;
}

void apply_flow(DCB& d, int32_t flow) {
  d.fOutxCtsFlow = flow == 1 || flow == 2;
  d.fOutxDsrFlow = flow == 3 || flow == 4;
  if (flow == 1 || flow == 3) d.fRtsControl = RTS_CONTROL_HANDSHAKE;
  if (flow == 2 || flow == 4) d.fDtrControl = DTR_CONTROL_HANDSHAKE;
  bool xon = flow == 5;
  d.fOutX = d.fInX = xon;
  if (xon) {
    d.XonChar = 0x11;
    d.XoffChar = 0x13;
    d.XonLim = 100;
    d.XoffLim = 100;
  }
}

bool configure(HANDLE h, const SerialSettings& s, DWORD mask) {
  DWORD t = static_cast<DWORD>(s.timeout);
  COMMTIMEOUTS timeouts{t, t, t, t, t};
  if (!SetCommTimeouts(h, &timeouts) || !SetCommMask(h, mask)) return false;
  DCB d{};
  d.DCBlength = sizeof d;
  if (!GetCommState(h, &d)) return false;
  d.BaudRate = static_cast<DWORD>(s.baud);
  d.ByteSize = static_cast<BYTE>(s.data_bits & 0xFF);
  d.StopBits = s.stop_bits == 2 ? ONE5STOPBITS : s.stop_bits == 3 ? TWOSTOPBITS : ONESTOPBIT;
  d.Parity = s.parity >= 1 && s.parity <= 4 ? static_cast<BYTE>(s.parity) : NOPARITY;
  d.fParity = s.parity_check ? 1 : 0;
  if (!s.event_char.empty()) d.EvtChar = s.event_char[0];
  d.fBinary = 1;
  d.fRtsControl = s.rts == 1 ? RTS_CONTROL_DISABLE : RTS_CONTROL_ENABLE;
  if (s.dtr == 1) d.fDtrControl = DTR_CONTROL_DISABLE;
  if (s.dtr == 2) d.fDtrControl = DTR_CONTROL_ENABLE;
  d.fDsrSensitivity = 0;
  apply_flow(d, s.flow);
  return SetCommState(h, &d) != 0;
}

HANDLE new_event(bool manual) { return CreateEventA(nullptr, manual, FALSE, nullptr); }

}  // namespace

bool SerialPort::open(const SerialSettings& s) {
  close();
  if (s.port < 1) return false;
  char name[32];
  std::snprintf(name, sizeof name, "\\\\.\\COM%d", s.port);
  HANDLE h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  port_.reset(h);
  mask_ = kAllEvents | (s.event_char.empty() ? 0 : EV_RXFLAG);
  if (!configure(h, s, mask_)) {
    port_.reset();
    return false;
  }
  if (!stop_) {
    stop_.reset(new_event(true));
    write_request_.reset(new_event(false));
    write_done_.reset(new_event(false));
    wait_event_.reset(new_event(true));
    io_event_.reset(new_event(true));
  }
  if (!stop_ || !write_request_ || !write_done_ || !wait_event_ || !io_event_) {
    port_.reset();
    return false;
  }
  ResetEvent(stop_.get());
  ResetEvent(write_request_.get());
  ResetEvent(write_done_.get());
  PurgeComm(h, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
  worker_.reset(CreateThread(nullptr, 0, &SerialPort::worker_main, this, 0, nullptr));
  if (!worker_) {
    port_.reset();
    return false;
  }
  return true;
}

void SerialPort::close() {
  if (worker_) {
    SetEvent(stop_.get());
    WaitForSingleObject(worker_.get(), INFINITE);
    worker_.reset();
  }
  port_.reset();
  queue_.clear();
}

bool SerialPort::send(std::string_view bytes) {
  if (!worker_) return false;
  if (bytes.empty()) return true;
  output_.assign(bytes);
  write_ok_ = true;
  SetEvent(write_request_.get());
  // The worker's end (it never ends while the port is open) must not leave us waiting.
  HANDLE waits[2] = {write_done_.get(), worker_.get()};
  bool done = WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0;
  output_.clear();
  return done && write_ok_;
}

int SerialPort::set_line(int state, int line) {
  if (!port_ || (state != 1 && state != 2) || line < 1 || line > 3) return 0;
  static constexpr DWORD kFunctions[3][2] = {
      {CLRDTR, SETDTR}, {CLRRTS, SETRTS}, {CLRBREAK, SETBREAK}};
  return EscapeCommFunction(port_.get(), kFunctions[line - 1][state - 1]);
}

DWORD WINAPI SerialPort::worker_main(void* self) {
  static_cast<SerialPort*>(self)->run();
  return 0;
}

bool SerialPort::finish(OVERLAPPED& ov, DWORD& count) {
  count = 0;
  if (GetLastError() != ERROR_IO_PENDING) return false;
  HANDLE waits[2] = {ov.hEvent, stop_.get()};
  if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
    CancelIo(port_.get());
    GetOverlappedResult(port_.get(), &ov, &count, TRUE);
    return false;
  }
  return GetOverlappedResult(port_.get(), &ov, &count, FALSE) != 0;
}

void SerialPort::read_waiting() {
  HANDLE h = port_.get();
  for (;;) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(h, &errors, &status)) return;
    if (errors & (CE_FRAME | CE_RXPARITY | CE_OVERRUN)) queue_.push(kNoteLineError, 0);
    if (status.cbInQue == 0) return;
    unsigned char buffer[kChunk];
    DWORD want = status.cbInQue < kChunk ? status.cbInQue : kChunk, got = 0;
    OVERLAPPED ov{};
    ov.hEvent = io_event_.get();
    ResetEvent(ov.hEvent);
    if (!ReadFile(h, buffer, want, &got, &ov) && !finish(ov, got)) return;
    for (DWORD i = 0; i < got; ++i) queue_.push(kNoteByte, buffer[i]);
    if (got == 0) return;
  }
}

void SerialPort::on_port_event(DWORD seen) {
  if (seen & EV_BREAK) queue_.push(kNoteBreak, 0);
  if (seen & EV_ERR) queue_.push(kNoteLineError, 0);
  if (seen & EV_RXFLAG) queue_.push(kNoteEventChar, 0);
  if (seen & EV_RING) queue_.push(kNoteRing, 0);
  if (seen & (EV_CTS | EV_DSR | EV_RLSD)) {
    DWORD modem = 0;
    GetCommModemStatus(port_.get(), &modem);
    if (seen & EV_CTS) queue_.push(modem & MS_CTS_ON ? kNoteCtsOn : kNoteCtsOff, 0);
    if (seen & EV_DSR) queue_.push(modem & MS_DSR_ON ? kNoteDsrOn : kNoteDsrOff, 0);
    if (seen & EV_RLSD) queue_.push(modem & MS_RLSD_ON ? kNoteCarrierOn : kNoteCarrierOff, 0);
  }
  read_waiting();
}

void SerialPort::write_output() {
  HANDLE h = port_.get();
  // Only the output is purged: bytes already received stay for the next read.
  PurgeComm(h, PURGE_TXABORT | PURGE_TXCLEAR);
  write_ok_ = true;
  OVERLAPPED ov{};
  ov.hEvent = io_event_.get();
  ResetEvent(ov.hEvent);
  DWORD written = 0;
  DWORD size = static_cast<DWORD>(output_.size());
  if (!WriteFile(h, output_.data(), size, &written, &ov) && !finish(ov, written)) write_ok_ = false;
  if (written != size) write_ok_ = false;
  SetEvent(write_done_.get());
}

void SerialPort::run() {
  HANDLE h = port_.get();
  // No purge here: open purged before starting us, and bytes that came since open returned
  // are the program's. They are read now, as no event will announce them.
  read_waiting();
  DWORD mask = mask_;
  bool polling = false;  // no event wait possible: read what is waiting every kPollMs
  bool pending = false;  // an event wait is outstanding
  wait_ = {};
  wait_.hEvent = wait_event_.get();
  OVERLAPPED& wait = wait_;
  DWORD& seen = seen_;
  bool rest = false;     // the last wait reported nothing: pause before the next one
  for (;;) {
    DWORD idle_ms = polling || rest ? kPollMs : 0;
    if (!pending && !polling && !rest) {
      ResetEvent(wait.hEvent);
      seen = 0;
      if (WaitCommEvent(h, &seen, &wait)) {
        on_port_event(seen);
        rest = seen == 0;  // a wait that keeps completing with nothing must not spin
        idle_ms = rest ? kPollMs : 0;
      } else if (GetLastError() == ERROR_IO_PENDING) {
        pending = true;
      } else {
        mask = smaller_mask(mask);
        polling = mask == 0 || !SetCommMask(h, mask);
        continue;
      }
    }
    HANDLE waits[3] = {stop_.get(), write_request_.get(), wait.hEvent};
    DWORD r = WaitForMultipleObjects(pending ? 3 : 2, waits, FALSE, pending ? INFINITE : idle_ms);
    if (r == WAIT_OBJECT_0) break;
    if (r == WAIT_OBJECT_0 + 1) {
      write_output();
    } else if (r == WAIT_OBJECT_0 + 2) {
      pending = false;
      DWORD unused = 0;
      if (GetOverlappedResult(h, &wait, &unused, FALSE)) {
        on_port_event(seen);
        rest = seen == 0;
      } else {
        mask = smaller_mask(mask);
        polling = mask == 0 || !SetCommMask(h, mask);
      }
    } else if (r == WAIT_TIMEOUT) {
      rest = false;
      if (polling) read_waiting();
    } else {
      break;  // a wait that fails cannot be retried safely
    }
  }
  if (pending) end_wait();
}

void SerialPort::end_wait() {
  // A new event mask ends a pending wait (cancelling the I/O may not: the system can keep
  // watching the modem lines); the wait's record must not be written after we are gone, so
  // its completion is waited for, bounded.
  SetCommMask(port_.get(), 0);
  CancelIo(port_.get());
  if (WaitForSingleObject(wait_.hEvent, kEndWaitMs) == WAIT_OBJECT_0) {
    DWORD unused = 0;
    GetOverlappedResult(port_.get(), &wait_, &unused, FALSE);
  }
}

}  // namespace comm
