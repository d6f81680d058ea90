// Carried by the package in place of the application while no stand-in
// application is built: it only has to be a program that starts and ends.
int main()
{
    return 0;
}
