def main():
    n = 2000
    a = [0] * (n + 1)
    s = 0
    x = 1
    for _ in range(120):
        for i in range(1, n + 1):
            x = (x * 75 + 74) % 65537
            a[i] = x
        g = n // 2
        while g >= 1:
            for i in range(g + 1, n + 1):
                v = a[i]
                j = i
                while j > g and a[j - g] > v:
                    a[j] = a[j - g]
                    j -= g
                a[j] = v
            g //= 2
        for i in range(1, n + 1):
            s += a[i] * i
    print(s)


main()
