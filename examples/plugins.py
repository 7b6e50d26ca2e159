"""A small plugin application on trel.component.

The application knows interfaces only. Plugins register formatters (named
utilities), a storage (a utility), an adapter that summarises documents and
handlers for the "document saved" event; the application finds them all in
the global registry, and a scoped registry swaps the storage for a block.
"""

from __future__ import annotations

import trel.interface
from trel.component import (
    Components,
    IRegistered,
    adapter_for,
    getUtility,
    global_registry,
    handle,
    provideAdapter,
    provideHandler,
    provideUtility,
    queryUtility,
    registry_scope,
)
from trel.interface import Interface, implementer


class IDocument(Interface):
    "A titled text."

    title: str
    text: str


class IFormatter(Interface):
    "Turns text into one output format."

    def format(document: IDocument) -> str:
        "The document in this format."


class IStorage(Interface):
    "Keeps documents."

    label: str
    documents: dict[str, str]

    def save(document: IDocument, formatted: str) -> None:
        "Keep the formatted document."


class ISummary(Interface):
    "A one-line account of something."

    line: str


class IDocumentSaved(Interface):
    "A document was saved."

    document: IDocument
    where: str


# -- the application's own types --------------------------------------------


@implementer(IDocument)
class Document:
    def __init__(self, title: str, text: str) -> None:
        self.title, self.text = title, text


@implementer(IDocumentSaved)
class DocumentSaved:
    def __init__(self, document: IDocument, where: str) -> None:
        self.document, self.where = document, where


# -- what plugins provide ----------------------------------------------------


@implementer(IFormatter)
class Markdown:
    def format(self, document: IDocument) -> str:
        return f"# {document.title}\n\n{document.text}"


@implementer(IFormatter)
class Html:
    def format(self, document: IDocument) -> str:
        return f"<h1>{document.title}</h1><p>{document.text}</p>"


@implementer(IStorage)
class MemoryStorage:
    def __init__(self, label: str) -> None:
        self.label = label
        self.documents: dict[str, str] = {}

    def save(self, document: IDocument, formatted: str) -> None:
        self.documents[document.title] = formatted
        handle(DocumentSaved(document, self.label))


@implementer(ISummary)
@adapter_for(IDocument)
class Summary:
    def __init__(self, document: IDocument) -> None:
        self.line = f"{document.title!r}: {len(document.text.split())} words"


log: list[str] = []


@adapter_for(IDocumentSaved)
def announce(event: IDocumentSaved) -> None:
    log.append(f"saved {event.document.title!r} to {event.where}")


def configure() -> None:
    """What the plugins do at start-up."""
    provideUtility(Markdown(), name="markdown")
    provideUtility(Html(), name="html")
    provideUtility(MemoryStorage("the main store"))
    provideAdapter(Summary)
    provideHandler(announce)


# -- the application ---------------------------------------------------------


def publish(document: IDocument) -> None:
    storage = getUtility(IStorage)
    for name, formatter in sorted(global_registry.getUtilitiesFor(IFormatter)):
        storage.save(document, formatter.format(document))
        log.append(f"  as {name}")


print(f"core: {trel.interface.CORE}")
# The application watches its own configuration through registration events.
configured: list[str] = []
global_registry.registerHandler(lambda event: configured.append(type(event.object).__name__), [IRegistered])
configured.clear()
configure()
print("configured:", ", ".join(configured))

note = Document("Release notes", "The component registry is here.")
publish(note)
print(ISummary(note).line)  # interfaces adapt through the global registry
print(sorted(getUtility(IStorage).documents), queryUtility(IFormatter, "pdf", "no pdf formatter"))

# A registry built on the global one, chosen for a block: its storage
# hides the global one there, and only there.
trial = Components("trial", [global_registry])
trial.registerUtility(MemoryStorage("a trial store"))
with registry_scope(trial):
    publish(Document("Draft", "Not yet."))
print(*log, sep="\n")
main, scoped = getUtility(IStorage), trial.getUtility(IStorage)
print("main store:", sorted(main.documents), "| trial store:", sorted(scoped.documents))
