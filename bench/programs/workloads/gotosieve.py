def main():
    n = 20000
    f = [0] * (n + 1)
    t = 0
    for _ in range(100):
        for i in range(2, n + 1):
            f[i] = 1
        c = 0
        for i in range(2, n + 1):
            if f[i]:
                c += 1
                for j in range(i + i, n + 1, i):
                    f[j] = 0
        t += c
    print(t)


main()
