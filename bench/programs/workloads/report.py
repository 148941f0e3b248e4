NAMES = ("ADAMS", "BAKER", "CLARKSON", "DUVAL", "EVANS", "FISCHER", "GARCIA", "HOLLOWAY")


def record(x, names):
    """One record's line and amount in cents, from the record number x."""
    q = x * 7 % 23 + 1
    a = q * (x * 37 % 9973 + 5)
    line = f"{x:06d} {names[x % 8]:<12}{q:4d}{f'{a // 100}.{a % 100:02d}':>11}"
    return line, a


def main():
    names = NAMES
    t = s = p = k = 0
    for x in range(1, 500001):
        line, a = record(x, names)
        s += a
        t += len(line) + line.find("9") + 1
        k += 1
        if k == 60:
            p += 1
            t += len(f"PAGE {p}")
            k = 0
    print(t + s)


main()
