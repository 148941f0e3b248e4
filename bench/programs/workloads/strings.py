def main():
    c = 0
    for i in range(1, 1000001):
        a = "AB" + chr(65 + i % 26)
        b = a + str(i % 10)
        c += len(b) + b.find("B") + 1
        if b[2] == "C":
            c += 1
        c += int(b[3])
    print(c)


main()
