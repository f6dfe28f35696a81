// Linked with every object of one layer and the layers below it: the program
// exists only to prove that the layer needs nothing from above.
int main() {
  return 0;
}
