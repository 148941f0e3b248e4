def main():
    n = [""] * 2001
    t = 0
    for r in range(1, 901):
        for i in range(1, 2001):
            n[i] = "K" + str(i * r % 1000)
        m = n[1]
        c = 0
        for i in range(2, 2001):
            e = n[i]
            if e > m:
                m = e
            if e[1] == "5":
                c += 1
        t += c + len(m)
    print(t)


main()
