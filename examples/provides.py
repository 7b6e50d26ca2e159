"""What single objects and class objects provide, beyond what classes implement."""

from __future__ import annotations

import trel.interface
from trel.interface import (
    Interface,
    alsoProvides,
    directlyProvidedBy,
    implementer,
    noLongerProvides,
    provider,
)


class IDocument(Interface):
    title: str


class IPublished(Interface):
    pass


class IDocumentFactory(Interface):
    def __call__(title: str) -> IDocument:
        """Make a document."""


@provider(IDocumentFactory)  # the class object itself is a factory
@implementer(IDocument)  # its instances are documents
class Document:
    def __init__(self, title: str) -> None:
        self.title = title


class Memo(Document):
    pass


draft, notice = Document("draft"), Document("notice")
alsoProvides(notice, IPublished)  # this one object only

print(f"core: {trel.interface.CORE}")
print("notice published:", IPublished.providedBy(notice), "| draft published:", IPublished.providedBy(draft))
print("notice provides directly:", [i.__name__ for i in directlyProvidedBy(notice).declared])
noLongerProvides(notice, IPublished)
print("after withdrawal:", IPublished.providedBy(notice))
print("Document is a factory:", IDocumentFactory.providedBy(Document))
print("Memo (a subclass) is not:", IDocumentFactory.providedBy(Memo))
print("a Memo is a document:", IDocument.providedBy(Memo("m")))
