def main():
    s = 0.0
    for i in range(1, 10000001):
        s = s + i * 2 - i / 3
    n = s - (s // 1000000) * 1000000
    print(int(n))


main()
