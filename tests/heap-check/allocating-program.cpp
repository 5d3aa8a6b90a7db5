// A program that allocates on the heap in its own code, so the heap check
// can show that it notices.
#include <cstdio>
#include <cstdlib>

int main()
{
    void *memory = malloc(16);
    int *number = new int(7);
    printf("%p %d\n", memory, *number);
    delete number;
    free(memory);
    return 0;
}
