"""One module per subcommand of `kinetrope`, each with `register(subparsers)`."""
