def main():
    f = [0] * 32001
    t = 0
    for r in range(200):
        for i in range(2, 32001):
            f[i] = 1
        c = 0
        for i in range(2, 32001):
            if f[i]:
                c += 1
                for j in range(i + i, 32001, i):
                    f[j] = 0
        t += c
    print(t)


main()
