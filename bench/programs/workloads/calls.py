# The subroutine that the BASIC side reaches with GOSUB adds to a variable of the caller: here it
# takes the value and gives back the new one, as Python code keeps its state in locals.
def add_one(s):
    return s + 1


def f(x):
    return x % 7


def main():
    s = 0
    for _ in range(4000000):
        s = add_one(s)
    for i in range(1, 4000001):
        s += f(i)
    print(s)


main()
