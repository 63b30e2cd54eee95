// A program that needs a library of its own (libzavrun.so.1), found through $ORIGIN/../lib.
int zavRunValue();

int main()
{
    return zavRunValue() == 42 ? 0 : 1;
}
