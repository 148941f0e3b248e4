def main():
    codes = [0] * 401
    prices = [0] * 401
    for i in range(1, 401):
        codes[i] = 13 * i + i * 7 % 11
        prices[i] = i * 53 % 997 + 1
    regions = [None] + ["R" + str(100 + i * 7) for i in range(1, 13)]
    t = u = 0
    for x in range(1, 300001):
        wanted = "R" + str(100 + (x % 12 + 1) * 7)
        j = 1
        while regions[j] != wanted:
            j += 1
        w = x * 7919 % 5300
        lo, hi = 1, 400
        while lo <= hi:
            m = (lo + hi) // 2
            k = codes[m]
            if k == w:
                t += prices[m] * j
                break
            if k > w:
                hi = m - 1
            else:
                lo = m + 1
        else:
            u += j
    print(t + u)


main()
