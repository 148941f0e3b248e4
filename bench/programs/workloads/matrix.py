def main():
    n = 5001
    a = [i % 13 for i in range(n)]
    b = [i % 7 for i in range(n)]
    t = 0.0
    for r in range(1, 1601):
        c = [x + y for x, y in zip(a, b)]
        c = [2 * x for x in c]
        x = [p - q for p, q in zip(c, a)]
        a = x[:]
        t += a[r] + sum(c) / 1000
    print(int(t))


main()
