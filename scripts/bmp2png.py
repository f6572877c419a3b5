# Converts the 24-bit BMP the Windows end-to-end test saves of the picker into a PNG:
#   python3 scripts/bmp2png.py build/win64/tests/picker.bmp docs/picker.png
import struct, zlib, sys
data = open(sys.argv[1], 'rb').read()
off = struct.unpack_from('<I', data, 10)[0]
w, h = struct.unpack_from('<ii', data, 18)
bpp = struct.unpack_from('<H', data, 28)[0]
assert bpp == 24
stride = (w * 3 + 3) // 4 * 4
rows = []
for y in range(abs(h)):
    src = h - 1 - y if h > 0 else y
    row = data[off + src * stride: off + src * stride + w * 3]
    rgb = bytearray(w * 3)
    rgb[0::3] = row[2::3]; rgb[1::3] = row[1::3]; rgb[2::3] = row[0::3]
    rows.append(b'\x00' + bytes(rgb))
raw = b''.join(rows)
def chunk(t, d): return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)
png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, abs(h), 8, 2, 0, 0, 0)) + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b'')
open(sys.argv[2], 'wb').write(png)
print(w, h, len(png))
