# Writes a 16-bit stereo 44.1 kHz wave file of N pseudo-random sample bytes (seeded), for the
# sound test program: make_wave.py OUT N SEED
import struct, sys
out, n, seed = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
x = (seed * 2654435761 + 1) & 0xFFFFFFFF
data = bytearray(n)
for i in range(n):
    x = (x * 1664525 + 1013904223) & 0xFFFFFFFF
    data[i] = (x >> 24) | 1
fmt = struct.pack('<HHIIHH', 1, 2, 44100, 44100 * 4, 4, 16)
body = b'WAVE' + b'fmt ' + struct.pack('<I', len(fmt)) + fmt + b'data' + struct.pack('<I', n) + bytes(data)
open(out, 'wb').write(b'RIFF' + struct.pack('<I', len(body)) + body)
