// The library that zav_run_program needs: a package carries it in lib/, or lacks it.
int zavRunValue()
{
    return 42;
}
